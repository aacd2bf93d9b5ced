#include "Generators.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <stdexcept>

#include "FileSystem.h"
#include "Win32Handles.h"

namespace bench {

namespace {

std::string WithBackslash(const std::string& path) {
    return path.empty() || path.back() == '\\' ? path : path + "\\";
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    UniqueFileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!file ||
        (!bytes.empty() && (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                                       &written, nullptr) ||
                            written != bytes.size())))
        throw std::runtime_error("cannot write " + path);
}

void MakeFolder(const std::string& path) {
    if (!FileSystem::ForceDirectories(path))
        throw std::runtime_error("cannot create " + path);
}

// Texts of the code page that time records are made of: customers, projects
// and notes in several languages, with accents, apostrophes and hyphens.
const char* const Customers[] = {"M\xfcller & S\xf6hne GmbH",
                                 "Brimlace Ltd",
                                 "\xc5ngstr\xf6m AB",
                                 "Caf\xe9 Z\xe9phyr",
                                 "Nordwind KG",
                                 "O'Brien Partners",
                                 "Ba\xf1os S.L.",
                                 "Dvo\xf8\xe1k s.r.o.",
                                 "Stadtwerke K\xf6ln",
                                 "Jensen-Hansen ApS",
                                 "L\xe6s\xf8 Fisk",
                                 "\xc9tablissements Ma\xeetre"};
const char* const Projects[] = {"Website relaunch", "Annual audit",  "Data migration",
                                "Support",          "Training",      "Roll-out phase 2",
                                "Internal",         "Ausschreibung", "Cl\xf4ture annuelle"};
const char* const Activities[] = {"Meeting", "Design",     "Development",   "Review",
                                  "Travel",  "Phone call", "Documentation", "Testing"};
const char* const Words[] = {"agenda",
                             "Entw\xfcrfe",
                             "besprochen",
                             "follow-up",
                             "customer's",
                             "requirements",
                             "r\xe9sum\xe9",
                             "invoice",
                             "Stra\xdf"
                             "e",
                             "draft",
                             "deadline",
                             "na\xefve",
                             "pr\xe9sentation",
                             "\xfc"
                             "berarbeitet",
                             "tests",
                             "release",
                             "notes",
                             "call",
                             "sign-off",
                             "budget"};

template <size_t N> const char* Pick(const char* const (&texts)[N], std::mt19937& random) {
    return texts[random() % N];
}

std::string Record(int year, int month, int index, int lines, std::mt19937& random) {
    const int day = 1 + index * 28 / lines;
    const int minute = 7 * 60 + (index * 7) % (11 * 60);
    const int length = 15 + static_cast<int>(random() % 240);
    char head[64];
    std::snprintf(head, sizeof head, "%04d-%02d-%02d;%02d:%02d;%02d:%02d;", year, month, day,
                  minute / 60, minute % 60, (minute + length) / 60 % 24, (minute + length) % 60);
    std::string record = head;
    record.append(Pick(Customers, random)).append(";");
    record.append(Pick(Projects, random)).append(";");
    record.append(Pick(Activities, random)).append(";");
    for (int words = 3 + static_cast<int>(random() % 6); words > 0; --words)
        record.append(Pick(Words, random)).append(words > 1 ? " " : "");
    return record;
}

std::string OtherCase(std::string text, std::mt19937& random) {
    if (random() % 2)
        CharUpperBuffA(text.data(), static_cast<DWORD>(text.size()));
    else
        CharLowerBuffA(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

void ListInto(const std::string& root, const std::string& relative, TreeListing& listing) {
    WIN32_FIND_DATAA entry;
    UniqueFindHandle find(FindFirstFileA((root + relative + "*").c_str(), &entry));
    if (!find)
        return;
    std::vector<std::string> folders;
    do {
        const std::string name = entry.cFileName;
        if (name == "." || name == "..")
            continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            folders.push_back(relative + name + "\\");
        } else {
            listing.files.push_back(relative + name);
            listing.bytes +=
                (static_cast<long long>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
        }
    } while (FindNextFileA(find.get(), &entry));
    find.reset();
    for (const std::string& folder : folders) {
        listing.folders.push_back(folder);
        ListInto(root, folder, listing);
    }
}

} // namespace

RecordRoots WriteRecordRoots(const std::string& folder, int lines, unsigned seed) {
    RecordRoots roots;
    roots.first = WithBackslash(folder) + "first\\";
    roots.second = WithBackslash(folder) + "second\\";
    MakeFolder(roots.first + "Data");
    MakeFolder(roots.second + "Data");
    std::mt19937 random(seed);
    for (int year = 2015; year <= 2024; ++year) {
        for (int month = 1; month <= 12; ++month) {
            char name[16];
            std::snprintf(name, sizeof name, "%04d-%02d.txt", year, month);
            std::string first;
            std::string second;
            for (int i = 0; i < lines; ++i) {
                const std::string record = Record(year, month, i, lines, random);
                first.append(record).append("\r\n");
                const unsigned roll = random() % 1000;
                if (roll < 10) {
                    second.append(OtherCase(record, random)).append("\r\n");
                } else if (roll < 15) {
                    // missing at the second root
                } else {
                    second.append(record).append("\r\n");
                    if (roll < 20)
                        second.append(Record(year, month, i, lines, random)).append("\r\n");
                }
            }
            WriteBytes(roots.first + "Data\\" + name, first);
            WriteBytes(roots.second + "Data\\" + name, second);
            roots.months.push_back(name);
            roots.bytes += static_cast<long long>(first.size() + second.size());
        }
    }
    return roots;
}

std::string WriteMonthWithCopy(const std::string& folder, int lines, int differing, unsigned seed) {
    const std::string root = WithBackslash(folder);
    MakeFolder(root + "Data");
    std::mt19937 random(seed);
    std::vector<std::string> month, copy;
    for (int i = 0; i < lines; ++i)
        month.push_back(Record(2024, 1, i, lines, random));
    copy = month;
    for (int i = 0; i < differing / 2; ++i)
        copy.erase(copy.begin() + random() % copy.size());
    for (int i = 0; i < differing - differing / 2; ++i)
        copy.insert(copy.begin() + random() % (copy.size() + 1),
                    Record(2024, 1, int(random() % lines), lines, random));
    auto write = [&](const char* name, const std::vector<std::string>& records) {
        std::string text;
        for (const std::string& record : records)
            text.append(record).append("\r\n");
        WriteBytes(root + "Data\\" + name, text);
    };
    write("2024-01.txt", month);
    write("2024-01-LAPTOP.txt", copy);
    return root;
}

TreeSize WriteCopyTree(const std::string& folder) {
    TreeSize size;
    const std::string root = WithBackslash(folder);
    unsigned long long state = 0x9E3779B97F4A7C15ULL;
    auto next = [&] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    std::vector<std::string> folders;
    for (int top = 1; top <= 10; ++top) {
        char name[32];
        std::snprintf(name, sizeof name, "Folder %02d\\", top);
        folders.push_back(name);
        for (int sub = 1; sub <= 4; ++sub) {
            char inner[64];
            std::snprintf(inner, sizeof inner, "Folder %02d\\Part %d\\", top, sub);
            folders.push_back(inner);
        }
    }
    std::string bytes;
    for (const std::string& relative : folders) {
        MakeFolder(root + relative);
        ++size.folders;
        for (int file = 1; file <= 20; ++file) {
            const size_t length = (64 + next() % 97) * 1024;
            bytes.resize(length);
            for (size_t at = 0; at + 8 <= length; at += 8) {
                const unsigned long long word = next();
                std::memcpy(&bytes[at], &word, 8);
            }
            char name[32];
            std::snprintf(name, sizeof name, "record-%02d.dat", file);
            WriteBytes(root + relative + name, bytes);
            ++size.files;
            size.bytes += static_cast<long long>(length);
        }
    }
    return size;
}

TreeListing ListTree(const std::string& folder) {
    TreeListing listing;
    ListInto(WithBackslash(folder), "", listing);
    return listing;
}

void RemoveTree(const std::string& folder) {
    const std::string root = WithBackslash(folder);
    const TreeListing listing = ListTree(root);
    for (const std::string& file : listing.files) {
        SetFileAttributesA((root + file).c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA((root + file).c_str());
    }
    for (auto at = listing.folders.rbegin(); at != listing.folders.rend(); ++at)
        RemoveDirectoryA((root + *at).c_str());
    RemoveDirectoryA(root.c_str());
}

} // namespace bench
