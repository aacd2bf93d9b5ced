#include "FileHash.h"

#include <windows.h>

#include <bcrypt.h>

#include <vector>

#include "Win32Handles.h"

namespace FileHash {

namespace {

// The SHA-256 provider, opened once for the process: opening one is the
// costly part of a hash, and CNG documents the handle as usable from any
// thread for BCryptCreateHash.
BCRYPT_ALG_HANDLE Provider() {
    static const BCRYPT_ALG_HANDLE provider = [] {
        BCRYPT_ALG_HANDLE opened = nullptr;
        return BCRYPT_SUCCESS(
                   BCryptOpenAlgorithmProvider(&opened, BCRYPT_SHA256_ALGORITHM, nullptr, 0))
                   ? opened
                   : nullptr;
    }();
    return provider;
}

// One SHA-256 in progress; BCryptOpenAlgorithmProvider, BCryptCreateHash,
// BCryptHashData and BCryptFinishHash as CNG documents them.
class Sha256 {
  public:
    Sha256() {
        ok_ = Provider() &&
              BCRYPT_SUCCESS(BCryptCreateHash(Provider(), &hash_, nullptr, 0, nullptr, 0, 0));
    }
    ~Sha256() {
        if (hash_)
            BCryptDestroyHash(hash_);
    }
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void Add(const char* data, size_t size) {
        while (ok_ && size > 0) {
            const ULONG chunk = static_cast<ULONG>(size > (1u << 30) ? (1u << 30) : size);
            ok_ = BCRYPT_SUCCESS(
                BCryptHashData(hash_, reinterpret_cast<PUCHAR>(const_cast<char*>(data)), chunk, 0));
            data += chunk;
            size -= chunk;
        }
    }
    std::string Hex() {
        unsigned char digest[32];
        if (!ok_ || !BCRYPT_SUCCESS(BCryptFinishHash(hash_, digest, sizeof digest, 0)))
            return std::string();
        static const char digits[] = "0123456789abcdef";
        std::string hex;
        for (unsigned char byte : digest) {
            hex += digits[byte >> 4];
            hex += digits[byte & 15];
        }
        return hex;
    }

  private:
    BCRYPT_HASH_HANDLE hash_ = nullptr;
    bool ok_ = false;
};

} // namespace

std::string Sha256OfFile(const std::wstring& path, unsigned long long* bytes,
                         unsigned long long* written) {
    UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file)
        return std::string();
    if (bytes || written) {
        BY_HANDLE_FILE_INFORMATION info;
        if (!GetFileInformationByHandle(file.get(), &info))
            return std::string();
        if (bytes)
            *bytes = static_cast<unsigned long long>(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
        if (written)
            *written = static_cast<unsigned long long>(info.ftLastWriteTime.dwHighDateTime) << 32 |
                       info.ftLastWriteTime.dwLowDateTime;
    }
    Sha256 sha;
    // Kept for the thread's next file: fresh memory costs, under Wine, about
    // as much as reading into it.
    thread_local std::vector<char> buffer(1 << 18);
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr))
            return std::string();
        if (got == 0)
            return sha.Hex();
        sha.Add(buffer.data(), got);
    }
}

std::string Sha256OfText(const std::string& text) {
    Sha256 sha;
    sha.Add(text.data(), text.size());
    return sha.Hex();
}

} // namespace FileHash
