#include "RecordFold.h"

#include <cstring>
#include <map>

namespace TVNConfigUtil {

namespace {

const DWORD KeyFlags = LCMAP_SORTKEY | NORM_IGNORECASE;

bool SingleByteCodePage(UINT codePage) {
    CPINFO info;
    return GetCPInfo(codePage, &info) && info.MaxCharSize == 1;
}

// The ANSI text calls read bytes in the locale's code page, or the system's
// for a locale without one: both must be of single bytes, or a byte is not
// always a character.
bool SingleByteText(LCID locale) {
    DWORD codePage = 0;
    if (!GetLocaleInfoA(locale, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                        reinterpret_cast<LPSTR>(&codePage), sizeof codePage / sizeof(CHAR)))
        return false;
    return SingleByteCodePage(GetACP()) && (codePage == 0 || SingleByteCodePage(codePage));
}

// A sort key is made of sections, each ended by a 1: first the main weights
// (two bytes for each element of a letter, digit or symbol), then those of
// accents, of case and of the kana, and last the weights that hyphens and
// apostrophes leave at their place, ended by a 0. What kind of character a
// key is of is told from them.
size_t MainWeightsLength(const std::string& key) {
    const size_t end = key.find('\1');
    return end == std::string::npos ? key.size() : end;
}

// Only a weight at its place: every section of the empty text's key empty
// but the last.
bool PlacedWeightOnly(const std::string& key, const std::string& empty) {
    return key.size() > empty.size() &&
           key.compare(0, empty.size() - 1, empty, 0, empty.size() - 1) == 0 &&
           key.back() == empty.back();
}

} // namespace

RecordFold::RecordFold(LCID locale) : locale_(locale) {
    for (State& state : state_)
        state = State::Refused;
    if (!SingleByteText(locale))
        return;
    const std::string empty = Key(std::string_view());
    if (empty.empty())
        return;

    // Each byte's key, and the lowest byte with each key.
    std::string keys[256];
    std::map<std::string, unsigned char> lowest;
    for (int byte = 1; byte < 256; ++byte) {
        const char c = static_cast<char>(byte);
        keys[byte] = Key(std::string_view(&c, 1));
        if (!keys[byte].empty())
            lowest.try_emplace(keys[byte], static_cast<unsigned char>(byte));
    }
    // A character of one element, or only a weight at its place, folds to
    // the lowest byte with its key.
    std::vector<unsigned char> elements; // those of one element that fold to themselves
    for (int byte = 1; byte < 256; ++byte) {
        const std::string& key = keys[byte];
        if (key.empty())
            continue;
        if (key == empty) {
            if (!separator_)
                separator_ = static_cast<char>(byte);
        } else if (MainWeightsLength(key) == 2 || PlacedWeightOnly(key, empty)) {
            folded_[byte][0] = lowest[key];
            state_[byte] = State::Unchecked;
            if (MainWeightsLength(key) == 2 && folded_[byte][0] == byte)
                elements.push_back(static_cast<unsigned char>(byte));
        }
    }
    // One of two elements (a ligature, the sharp s) folds to two such
    // characters with its key; the candidates are those whose main weights
    // are its halves.
    for (int byte = 1; byte < 256; ++byte) {
        const std::string& key = keys[byte];
        if (key.empty() || MainWeightsLength(key) != 4)
            continue;
        for (size_t i = 0; i < elements.size() && state_[byte] != State::Unchecked; ++i)
            for (unsigned char second : elements) {
                const unsigned char first = elements[i];
                const char pair[2] = {static_cast<char>(first), static_cast<char>(second)};
                if (key.compare(0, 2, keys[first], 0, 2) == 0 &&
                    key.compare(2, 2, keys[second], 0, 2) == 0 &&
                    Key(std::string_view(pair, 2)) == key) {
                    folded_[byte][0] = first;
                    folded_[byte][1] = second;
                    state_[byte] = State::Unchecked;
                    break;
                }
            }
    }
    // Without an ignorable character no pair can be shown not to be joined.
    if (!separator_)
        for (State& state : state_)
            state = State::Refused;
}

std::string RecordFold::Key(std::string_view text) const {
    // The call refuses a zero length: the empty text is keyed through its
    // terminating zero.
    char buffer[128];
    const int size =
        LCMapStringA(locale_, KeyFlags, text.empty() ? "" : text.data(),
                     text.empty() ? -1 : static_cast<int>(text.size()), buffer, sizeof buffer);
    return size > 0 ? std::string(buffer, static_cast<size_t>(size)) : std::string();
}

bool RecordFold::Checked(unsigned char c) {
    return state_[c] == State::Accepted || (state_[c] == State::Unchecked && Admit(c));
}

// Accepts a character once what it folds to is accepted and, for two, they
// are not joined.
bool RecordFold::Admit(unsigned char c) {
    state_[c] = State::Refused; // unless every check below holds
    for (unsigned char part : folded_[c])
        if (part && part != c && !Checked(part))
            return false;
    if (folded_[c][1] && !Apart(folded_[c][0], folded_[c][1]))
        return false;
    state_[c] = State::Accepted;
    form_[c] = static_cast<unsigned short>(folded_[c][0] | folded_[c][1] << 8);
    return true;
}

// Whether no sort joins two accepted characters, nor what they fold to where
// they meet: when each pair has the key it has with the ignorable character
// between, over which no join reaches. Asked once for each pair.
bool RecordFold::Apart(unsigned char a, unsigned char b) {
    const unsigned pair = static_cast<unsigned>(a) << 8 | b;
    if (pairs_[pair] != PairState::Unchecked)
        return pairs_[pair] == PairState::Apart;
    pairs_[pair] = PairState::Joined; // unless both checks hold
    const char together[2] = {static_cast<char>(a), static_cast<char>(b)};
    const char apart[3] = {static_cast<char>(a), separator_, static_cast<char>(b)};
    const std::string key = Key(std::string_view(together, 2));
    if (key.empty() || key != Key(std::string_view(apart, 3)))
        return false;
    const unsigned char foldedA = folded_[a][1] ? folded_[a][1] : folded_[a][0];
    if ((foldedA != a || folded_[b][0] != b) && !Apart(foldedA, folded_[b][0]))
        return false;
    pairs_[pair] = PairState::Apart;
    apart_[pair / 64] |= 1ULL << (pair % 64);
    return true;
}

// The first sight of a character, or of a pair, in a text: checked.
bool RecordFold::Folds(unsigned char previous, unsigned char c) {
    return Checked(c) && Apart(previous, c);
}

size_t RecordFold::Fold(std::string_view text, char* out) {
    char* to = out;
    // Both bytes of a form are written, and the second kept only when the
    // character folds to two.
    auto put = [&](unsigned short form) {
        std::memcpy(to, &form, 2);
        to += form > 0xff ? 2 : 1;
    };
    auto at = reinterpret_cast<const unsigned char*>(text.data());
    const auto end = at + text.size();
    if (at == end)
        return 0;
    unsigned previous = *at;
    if (!form_[previous] && !Checked(static_cast<unsigned char>(previous)))
        return Refused;
    put(form_[previous]);
    for (++at; at < end; ++at) {
        const unsigned c = *at;
        const unsigned pair = previous << 8 | c;
        if ((!form_[c] || !(apart_[pair / 64] >> (pair % 64) & 1)) &&
            !Folds(static_cast<unsigned char>(previous), static_cast<unsigned char>(c)))
            return Refused;
        put(form_[c]);
        previous = c;
    }
    return static_cast<size_t>(to - out);
}

bool RecordFold::Append(std::string_view text, std::string& out) {
    const size_t start = out.size();
    out.resize(start + 2 * text.size());
    const size_t length = Fold(text, out.data() + start);
    out.resize(length == Refused ? start : start + length);
    return length != Refused;
}

} // namespace TVNConfigUtil
