// The completeness comparison done the plain way: string lists with linear
// look-ups by the locale-aware comparison (TStringList::IndexOf), one line
// deleted per match. Quadratic, but obviously right; the tests hold the real
// comparison against it, and the benchmark times it.
#pragma once

#include <windows.h>

#include <string>

#include "FileSystem.h"
#include "StringList.h"
#include "TVNConfigUtil.h"
#include "Win32Handles.h"

namespace oracle {

struct Counts {
    long long First = 0;
    long long Second = 0;
};

// The root's monthly data files, lower-cased full paths in listing order.
inline TStringList MonthlyFiles(const std::string& root) {
    TStringList list;
    const std::string data = TVNConfigUtil::DataFolderOf(root);
    WIN32_FIND_DATAA entry;
    UniqueFindHandle find(FindFirstFileA((data + "????"
                                                 "-??.txt")
                                             .c_str(),
                                         &entry));
    if (!find)
        return list;
    do {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        std::string path = data + entry.cFileName;
        if (TVNConfigUtil::IsMonthlyDataFileName(path))
            list.Add(TVNConfigUtil::AsciiLowerCase(path));
    } while (FindNextFileA(find.get(), &entry));
    return list;
}

// Matches the lines of one pair of files one for one: the shorter list is
// walked from its end, each line looked up in the longer one and the first
// equal line deleted there. Adds the unmatched lines to the two counts.
inline void MatchLines(TStringList& lesser, TStringList& greater, long long& lesserCount,
                       long long& greaterCount) {
    const bool lesserIsShort = lesser.Count() < greater.Count();
    TStringList& shortList = lesserIsShort ? lesser : greater;
    TStringList& longList = lesserIsShort ? greater : lesser;
    long long& shortCount = lesserIsShort ? lesserCount : greaterCount;
    long long& longCount = lesserIsShort ? greaterCount : lesserCount;
    for (int i = shortList.Count() - 1; i >= 0; --i) {
        const int at = longList.IndexOf(shortList[i]);
        if (at >= 0)
            longList.Delete(at);
        else
            ++shortCount;
        shortList.Delete(i);
    }
    longCount += longList.Count();
}

inline Counts LinearCounts(const std::string& firstRoot, const std::string& secondRoot) {
    using TVNConfigUtil::AddBackslash;
    const std::string roots[2] = {AddBackslash(firstRoot), AddBackslash(secondRoot)};
    TStringList files[2] = {MonthlyFiles(roots[0]), MonthlyFiles(roots[1])};
    const int lesser = files[0].Count() < files[1].Count() ? 0 : 1;
    const int greater = 1 - lesser;
    TStringList work[2];
    long long counts[2] = {0, 0};

    for (int i = files[lesser].Count() - 1; i >= 0; --i) {
        const std::string entry = files[lesser][i];
        const std::string counterpart = TVNConfigUtil::AsciiLowerCase(
            TVNConfigUtil::DataFolderOf(roots[greater]) + FileSystem::ExtractFileName(entry));
        const int at = files[greater].IndexOf(counterpart);
        if (at < 0) {
            work[lesser].LoadFromFile(entry);
            counts[lesser] += work[lesser].Count();
        } else {
            work[greater].LoadFromFile(files[greater][at]);
            work[lesser].LoadFromFile(entry);
            MatchLines(work[lesser], work[greater], counts[lesser], counts[greater]);
            files[greater].Delete(at);
        }
        files[lesser].Delete(i);
        work[0].Clear();
        work[1].Clear();
    }
    for (int i = files[greater].Count() - 1; i >= 0; --i) {
        work[greater].LoadFromFile(files[greater][i]);
        counts[greater] += work[greater].Count();
        work[greater].Clear();
    }
    return Counts{counts[0], counts[1]};
}

inline int Result(const Counts& counts) {
    if (counts.First > 0 && counts.Second > 0)
        return -1;
    return counts.First > 0 ? 1 : counts.Second > 0 ? 2 : 0;
}

} // namespace oracle
