// The file errors of the settings store and of loading text files. They are
// the one kind of error that travels as an exception; what() is exactly the
// text the user is shown.
#pragma once

#include <stdexcept>
#include <string>

class EFileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// "Cannot open file <name>"
class EFOpenError : public EFileError {
  public:
    explicit EFOpenError(const std::string& fileName)
        : EFileError("Cannot open file " + fileName) {}
};

// "Cannot create file <name>"
class EFCreateError : public EFileError {
  public:
    explicit EFCreateError(const std::string& fileName)
        : EFileError("Cannot create file " + fileName) {}
};

// "Stream write error"
class EWriteError : public EFileError {
  public:
    EWriteError() : EFileError("Stream write error") {}
};

// A file whose read failed for a cause the message names (a sync client
// that could not provide a file kept online only): what() is the whole
// message.
class EFCloudFileError : public EFileError {
  public:
    using EFileError::EFileError;
};
