#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <random>

#include "Completeness.h"
#include "CompletenessOracle.h"
#include "FileErrors.h"
#include "RecordFold.h"
#include "TVNConfigUtil.h"
#include "TestSupport.h"
#include "Win32Handles.h"

using namespace TVNConfigUtil;

namespace {

using namespace std::string_literals;

// A file or folder below a root; no content makes a folder.
struct Item {
    std::string path;
    std::optional<std::string> content;
    DWORD attributes = 0;
};
using Tree = std::vector<Item>;

void Build(const std::string& root, const Tree& tree) {
    test::MakeDirs(root);
    for (const Item& item : tree) {
        const std::string path = root + item.path;
        if (item.content)
            test::WriteBytes(path, *item.content);
        else
            test::MakeDirs(path);
        if (item.attributes &&
            (!SetFileAttributesA(path.c_str(), item.attributes) ||
             (GetFileAttributesA(path.c_str()) & item.attributes) != item.attributes))
            std::fprintf(stderr, "note: %s keeps no hidden or system attribute here\n",
                         path.c_str());
    }
}

// The comparison from both sides must agree with the plain linear one and,
// swapped, give the swapped counts and result.
void ExpectBothOrders(const std::string& a, const std::string& b, long long countA,
                      long long countB, int result, const std::string& label) {
    SCOPED_TRACE(label);
    const int swapped = result == 1 ? 2 : result == 2 ? 1 : result;
    const MissingRecordCounts forward = CountMissingRecords(a, b);
    const MissingRecordCounts backward = CountMissingRecords(b, a);
    EXPECT_EQ(forward.First, countA);
    EXPECT_EQ(forward.Second, countB);
    EXPECT_EQ(backward.First, countB);
    EXPECT_EQ(backward.Second, countA);
    EXPECT_EQ(CompareDataCompleteness({a, b}), result);
    EXPECT_EQ(CompareDataCompleteness({b, a}), swapped);
    const oracle::Counts linear = oracle::LinearCounts(a, b);
    EXPECT_EQ(linear.First, countA);
    EXPECT_EQ(linear.Second, countB);
}

// Keeps a file open for writing, sharing it with readers only, from a child
// process: this test program started again, which does nothing else.
const char* const HoldVariable = "TVN_TEST_HOLD_FOR_WRITING";

const bool RunningAsHolder = [] {
    char path[MAX_PATH];
    DWORD length = GetEnvironmentVariableA(HoldVariable, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return false;
    UniqueFileHandle file(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), file ? "1" : "0", 1, &written, nullptr);
    // Until the test ends it, with a bound in case the test never does.
    if (file)
        Sleep(120000);
    ExitProcess(0);
}();

class WritingProcess {
  public:
    explicit WritingProcess(const std::string& path) {
        test::ScopedEnv hold(HoldVariable, path.c_str());
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE readEnd = nullptr;
        HANDLE writeEnd = nullptr;
        if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
            return;
        UniqueKernelHandle reader(readEnd);
        UniqueKernelHandle writer(writeEnd);
        SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
        char self[MAX_PATH];
        GetModuleFileNameA(nullptr, self, MAX_PATH);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = writeEnd;
        startup.hStdError = writeEnd;
        PROCESS_INFORMATION info{};
        std::string commandLine = "\"";
        commandLine.append(self).append("\"");
        if (!CreateProcessA(self, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                            &startup, &info))
            return;
        process_.reset(info.hProcess);
        UniqueKernelHandle thread(info.hThread);
        writer.reset();
        char answer = 0;
        DWORD got = 0;
        holding_ = ReadFile(reader.get(), &answer, 1, &got, nullptr) && got == 1 && answer == '1';
    }
    ~WritingProcess() {
        if (process_) {
            TerminateProcess(process_.get(), 0);
            WaitForSingleObject(process_.get(), INFINITE);
        }
    }
    WritingProcess(const WritingProcess&) = delete;
    WritingProcess& operator=(const WritingProcess&) = delete;
    bool holding() const { return holding_; }

  private:
    UniqueKernelHandle process_;
    bool holding_ = false;
};

// Numbered lines "<tag> n" from `first` to `last`, each ended by CR LF.
std::string Numbered(const char* tag, int first, int last) {
    std::string text;
    for (int n = first; n <= last; ++n)
        text += std::string(tag) + " " + std::to_string(n) + "\r\n";
    return text;
}

} // namespace

TEST(CompareDataCompleteness, CountsAndResults) {
    const Tree none;
    struct Case {
        const char* label;
        Tree first;
        Tree second;
        long long firstCount;
        long long secondCount;
        int result;
    } cases[] = {
        {"both data folders missing", none, none, 0, 0, 0},
        {"both data folders empty", {{"Data", std::nullopt}}, {{"Data", std::nullopt}}, 0, 0, 0},
        {"only empty monthly files",
         {{"Data\\2024-01.txt", ""}},
         {{"Data\\2024-01.txt", ""}, {"Data\\2024-02.txt", ""}},
         0,
         0,
         0},
        {"three lines against no data folder",
         {{"Data\\2024-03.txt", "a\r\nb\r\nc\r\n"}},
         none,
         3,
         0,
         1},
        {"one more line at the second",
         {{"Data\\2024-03.txt", "A\r\nB\r\n"}},
         {{"Data\\2024-03.txt", "A\r\nB\r\nC\r\n"}},
         0,
         1,
         2},
        {"and a month only the first holds",
         {{"Data\\2024-03.txt", "A\r\nB\r\n"}, {"Data\\2024-04.txt", "D\r\n"}},
         {{"Data\\2024-03.txt", "A\r\nB\r\nC\r\n"}},
         1,
         1,
         -1},
        {"letter case only, accented letters too",
         {{"Data\\2024-03.txt", "Alpha\r\nBETA\r\nM\xfcller\r\n"}},
         {{"Data\\2024-03.txt", "alpha\r\nBeta\r\nM\xdcLLER\r\n"}},
         0,
         0,
         0},
        {"a line twice against once counts once",
         {{"Data\\2024-03.txt", "A\r\nA\r\nB\r\n"}},
         {{"Data\\2024-03.txt", "b\r\na\r\n"}},
         1,
         0,
         1},
        {"line breaks only are empty records",
         {{"Data\\2024-03.txt", "\r\n\r\n"}, {"Data\\2024-04.txt", "\n\r"}},
         {{"Data\\2024-03.txt", "\n"}},
         3,
         0,
         1},
        {"CR, LF and CR LF end lines alike",
         {{"Data\\2024-03.txt", "a\rb\nc\r\nd"}},
         {{"Data\\2024-03.txt", "d\r\nc\r\nb\r\na\r\n"}},
         0,
         0,
         0},
        {"text after a NUL is not read",
         {{"Data\\2024-03.txt", "a\r\nb\r\n\0c\r\n"s}},
         {{"Data\\2024-03.txt", "a\r\nb"}},
         0,
         0,
         0},
        {"a CR LF in one file where the other has a CR",
         {{"Data\\2024-03.txt", "x\r\ny\r\nz"}},
         {{"Data\\2024-03.txt", "x\ry\r\nZ\r"}},
         0,
         0,
         0},
        {"the same bytes through a NUL, other bytes after it",
         {{"Data\\2024-03.txt", "0123456\0\r\nfirst"s}},
         {{"Data\\2024-03.txt", "0123456\0\r\nsecond\r\nthird"s}},
         0,
         0,
         0},
        {"long lines, a NUL among them",
         {{"Data\\2024-03.txt",
           "0123456789abcdefghij0123456789\r\nabcdefghijklmnop\0qrstuvwxyz\r\nzzz"s}},
         {{"Data\\2024-03.txt", "0123456789ABCDEFGHIJ0123456789\nABCDEFGHIJKLMNOP"}},
         0,
         0,
         0},
        {"other names are ignored",
         {{"Data\\2024-3.txt", "x"},
          {"Data\\2024_03.txt", "x"},
          {"Data\\notes.txt", "x"},
          {"Data\\2024-03.txt.bak", "x"},
          {"Data\\2024-03.csv", "x"},
          {"2024-03.txt", "x"}},
         none,
         0,
         0,
         0},
        {"unusual names that count",
         {{"Data\\2024-03.TXT", "x"}, {"Data\\2024-13.txt", "y"}, {"Data\\+024-03.txt", "z"}},
         none,
         3,
         0,
         1},
        {"same-named files paired whatever their case",
         {{"Data\\2024-03.TXT", "a\r\nb"}, {"Data\\$7E8-03.txt", "c"}},
         {{"data\\2024-03.txt", "b\r\na"}, {"data\\$7e8-03.TXT", "C"}},
         0,
         0,
         0},
        {"folders named like monthly files and subfolders are not read",
         {{"Data\\2024-03.txt\\2024-03.txt", "x"}, {"Data\\sub\\2024-04.txt", "y"}},
         none,
         0,
         0,
         0},
        {"hidden and system monthly files count",
         {{"Data\\2024-03.txt", "a\r\nb", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM}},
         {{"Data\\2024-03.txt", "a"}},
         1,
         0,
         1},
        // The locale decides what is the same record, beyond letter case.
        {"ligatures and sharp s equal their letters",
         {{"Data\\2024-03.txt", "\xe6on\r\nstra\xdf"
                                "e\r\n"}},
         {{"Data\\2024-03.txt", "AEON\r\nSTRASSE\r\n"}},
         0,
         0,
         0},
        {"an empty line equals a soft hyphen alone",
         {{"Data\\2024-03.txt", "\r\n\r\nx\r\n"}},
         {{"Data\\2024-03.txt", "\xad\r\nX\r\n\xad\r\n"}},
         0,
         0,
         0},
        // Past the look-ahead of the walk in step: blocks of lines one file
        // holds, records repeated, and case variants among them.
        {"a block of twelve lines added and another missing",
         {{"Data\\2024-03.txt", Numbered("line", 1, 60)}},
         {{"Data\\2024-03.txt", Numbered("line", 1, 20) + Numbered("new", 1, 12) +
                                    Numbered("line", 21, 29) + Numbered("line", 42, 60)}},
         12,
         12,
         -1},
        {"a block of case variants longer than the look-ahead",
         {{"Data\\2024-03.txt", Numbered("line", 1, 40)}},
         {{"Data\\2024-03.txt",
           Numbered("line", 1, 10) + Numbered("LINE", 11, 30) + Numbered("line", 31, 40)}},
         0,
         0,
         0},
        {"a record repeated, in other letters at the other",
         {{"Data\\2024-03.txt", Numbered("same", 1, 1) + Numbered("same", 1, 1) +
                                    Numbered("same", 1, 1) + Numbered("line", 1, 30)}},
         {{"Data\\2024-03.txt", Numbered("line", 1, 30) + Numbered("SAME", 1, 1)}},
         2,
         0,
         1},
        {"a soft hyphen inside a word, at only one file",
         {{"Data\\2024-03.txt", "co\xadop\r\nStra\xdf"
                                "e\r\n"}},
         {{"Data\\2024-03.txt", "COOP\r\nstrasse\r\n"}},
         0,
         0,
         0},
        {"accents, hyphens and apostrophes make other records",
         {{"Data\\2024-03.txt", "caf\xe9\r\nco-op\r\nit's\r\n"}},
         {{"Data\\2024-03.txt", "cafe\r\ncoop\r\nits\r\n"}},
         3,
         3,
         -1},
    };
    for (const Case& c : cases) {
        test::TempDir dir;
        const std::string first = dir / "First Root";
        const std::string second = dir / "Second Root\\";
        Build(first + "\\", c.first);
        Build(second, c.second);
        ExpectBothOrders(first, second, c.firstCount, c.secondCount, c.result, c.label);
    }
}

TEST(CompareDataCompleteness, SameFolderTwiceIsComplete) {
    test::TempDir dir;
    Build(dir.path(), {{"Data\\2024-03.txt", "a\r\na\r\nb"}, {"Data\\2024-04.txt", "c"}});
    ExpectBothOrders(dir.path(), dir / ".", 0, 0, 0, "same folder");
}

TEST(CompareDataCompleteness, UnreadableFileEndsTheComparison) {
    test::TempDir dir;
    const std::string first = dir / "First";
    const std::string second = dir / "Second";
    Build(first + "\\", {{"Data\\2024-03.TXT", "a"}});
    Build(second + "\\", {{"Data\\2024-03.txt", "a"}, {"Data\\2024-04.txt", "b"}});
    const std::string held = first + "\\Data\\2024-03.TXT";
    WritingProcess writer(held);
    ASSERT_TRUE(writer.holding());
    // A second unreadable file, which the comparison reaches only later: the
    // files of the root with fewer files come first, and a file without a
    // counterpart last.
    test::HeldFile later(second + "\\Data\\2024-04.txt", GENERIC_WRITE, FILE_SHARE_READ);
    ASSERT_TRUE(later.ok());

    // A list of one root or more than two reads nothing.
    EXPECT_EQ(CompareDataCompleteness({first}), 0);
    EXPECT_EQ(CompareDataCompleteness({first, second, first}), -1);

    for (const auto& roots : {std::vector<std::string>{first, second}, {second, first}}) {
        try {
            CompareDataCompleteness(roots);
            ADD_FAILURE() << "no error";
        } catch (const EFOpenError& error) {
            EXPECT_EQ(std::string(error.what()), "Cannot open file " + AsciiLowerCase(held));
        }
    }
}

// Seeded random roots, compared with the plain linear comparison in both
// orders. Lines are built from pieces that exercise the locale: accented
// capitals and smalls, ligatures and their letters, ignorable characters (soft
// hyphen), control bytes, hyphens and apostrophes, and the like. The sort-key
// rule and the linear look-up agree on every text of one and two characters
// of this code page, so no piece needs to be left out; the only trap was the
// empty line, which the key call refuses with a zero length.
TEST(CompareDataCompleteness, AgreesWithTheLinearComparison) {
    const char* const pieces[] = {
        "a",    "A",     "e",    "\xe9", "\xc9",  "\xfc",  "\xdc", "\xe6", "ae",   "AE",
        "\xdf", "ss",    "SS",   "-",    "'",     "\xad",  "\x01", "\x1f", "\x7f", "\t",
        " ",    "co-op", "coop", "it's", "its",   "\x8a",  "\x9a", "\x9f", "\xff", "^",
        "\x88", "1",     "\xb9", "\x80", "09:00", "Kunde", "\x96", "\x97", "\xa0", "\x81"};
    const char* const months[] = {"2024-01", "2024-02", "2023-12", "2024-03", "2022-07"};
    const char* const breaks[] = {"\r\n", "\n", "\r"};

    int compared = 0;
    for (unsigned run = 1; run <= 150; ++run) {
        SCOPED_TRACE("random case " + std::to_string(run));
        std::mt19937 random(run);
        auto chance = [&](int percent) { return static_cast<int>(random() % 100) < percent; };
        auto randomLine = [&] {
            std::string line;
            for (int n = static_cast<int>(random() % 4); n > 0; --n)
                line += pieces[random() % std::size(pieces)];
            return line;
        };
        auto vary = [&](std::string line) {
            for (char& c : line) {
                if (!chance(30))
                    continue;
                char letter[2] = {c, '\0'};
                if (IsCharUpperA(c))
                    CharLowerBuffA(letter, 1);
                else
                    CharUpperBuffA(letter, 1);
                c = letter[0];
            }
            return line;
        };
        auto text = [&](const std::vector<std::string>& lines) {
            std::string out;
            for (size_t i = 0; i < lines.size(); ++i) {
                out += lines[i];
                if (i + 1 < lines.size() || chance(80))
                    out += breaks[random() % std::size(breaks)];
            }
            if (chance(5))
                out.insert(random() % (out.size() + 1), 1, '\0');
            return out;
        };

        test::TempDir dir;
        const std::string roots[2] = {dir / "one\\", dir / "two\\"};
        for (const char* month : months) {
            std::vector<std::string> lines;
            for (int n = static_cast<int>(random() % 25); n > 0; --n)
                lines.push_back(randomLine());
            std::vector<std::string> other;
            for (const std::string& line : lines) {
                if (chance(10))
                    continue;
                other.push_back(chance(25) ? vary(line) : line);
                if (chance(10))
                    other.push_back(chance(50) ? line : randomLine());
            }
            // Mostly in the same order, as copies of one file are; sometimes
            // blocks of lines added or missing, longer than any look-ahead, or
            // all mixed.
            if (chance(20)) {
                std::vector<std::string> block;
                for (int n = 12; n > 0; --n)
                    block.push_back(randomLine());
                other.insert(other.begin() + random() % (other.size() + 1), block.begin(),
                             block.end());
            }
            if (other.size() > 10 && chance(20)) {
                const size_t at = random() % (other.size() - 10);
                other.erase(other.begin() + at, other.begin() + at + 10);
            }
            if (chance(25))
                std::shuffle(other.begin(), other.end(), random);
            const bool inFirst = chance(80);
            const bool inSecond = chance(80);
            if (inFirst)
                test::WriteBytes(roots[0] + "Data\\" + month + (chance(20) ? ".TXT" : ".txt"),
                                 text(lines));
            if (inSecond)
                test::WriteBytes(roots[1] + "Data\\" + month + ".txt", text(other));
        }
        const MissingRecordCounts forward = CountMissingRecords(roots[0], roots[1]);
        const MissingRecordCounts backward = CountMissingRecords(roots[1], roots[0]);
        const oracle::Counts linear = oracle::LinearCounts(roots[0], roots[1]);
        const oracle::Counts linearBack = oracle::LinearCounts(roots[1], roots[0]);
        EXPECT_EQ(forward.First, linear.First);
        EXPECT_EQ(forward.Second, linear.Second);
        EXPECT_EQ(backward.First, linearBack.First);
        EXPECT_EQ(backward.Second, linearBack.Second);
        EXPECT_EQ(linear.First, linearBack.Second);
        EXPECT_EQ(linear.Second, linearBack.First);
        EXPECT_EQ(CompareDataCompleteness({roots[0], roots[1]}), oracle::Result(linear));
        compared += linear.First + linear.Second > 0;
    }
    // The generator must produce differences, or the agreement proves little.
    EXPECT_GT(compared, 100);
}

// Where two texts both fold, their folded forms are equal exactly when the
// locale's comparison finds them equal: in locales whose case is not ASCII's
// (Turkish), whose sorts join letters (Czech, Hungarian, Danish) and whose
// code page is not Latin (Russian). Each row is read in every locale's code
// page, so it also brings other letters into the others.
TEST(RecordFold, EqualExactlyWhereTheLocaleFindsEqual) {
    const LCID english = 0x0409;
    const LCID locales[] = {english, 0x041f, 0x0405, 0x040e, 0x0406, 0x0407, 0x0419};
    const std::pair<const char*, const char*> rows[] = {
        {"M\xfcller & S\xf6hne", "M\xdcLLER & s\xd6HNE"},
        {"Stra\xdf"
         "e",
         "STRASSE"},
        {"\xe6on", "AEON"},
        {"co-op", "CO-OP"},
        {"co-op", "coop"},
        {"it's", "its"},
        {"caf\xe9", "cafe"},
        {"ISTANBUL", "istanbul"},
        {"\xddstanbul", "istanbul"},
        {"\xfdrmak", "IRMAK"},
        {"chyba", "CHYBA"},
        {"chyba", "cHyba"},
        {"szoba", "SZoba"},
        {"aabenraa", "\xe5"
                     "benr\xe5"},
        {"\xcf\xf0\xe8\xe2\xe5\xf2", "\xcf\xd0\xc8\xc2\xc5\xd2"},
        {"soft\xadhyphen", "softhyphen"},
        {"", "\xad"},
        {"2024-03-05;09:00;Kunde", "2024-03-05;09:00;KUNDE"},
    };
    int foldedInEnglish = 0;
    for (const LCID locale : locales) {
        RecordFold fold(locale);
        for (const auto& [a, b] : rows) {
            SCOPED_TRACE("locale " + std::to_string(locale) + ": \"" + a + "\", \"" + b + "\"");
            std::string foldedA, foldedB;
            if (!fold.Append(a, foldedA) || !fold.Append(b, foldedB))
                continue;
            EXPECT_EQ(foldedA == foldedB,
                      CompareStringA(locale, NORM_IGNORECASE, a, -1, b, -1) == CSTR_EQUAL);
            foldedInEnglish += locale == english;
        }
    }
    // The rows without joined letters or ignored characters fold, or the
    // agreement proves little.
    EXPECT_GE(foldedInEnglish, 14);
}
