#pragma once

#include <cstdio>
#include <string>

// A database attached by isql-fb on the embedded engine for as long as this
// object lives: isql waits for its next command on our pipe. Throws
// std::runtime_error when isql does not attach.
class AttachedDatabase {
public:
    explicit AttachedDatabase(const std::string& path);
    ~AttachedDatabase();  // end of input: isql detaches and ends
    AttachedDatabase(const AttachedDatabase&) = delete;
    AttachedDatabase& operator=(const AttachedDatabase&) = delete;

private:
    std::FILE* pipe_ = nullptr;
};

// An flock through an open of our own. flock locks belong to the open file
// description, so this conflicts with the file layer's own open even inside
// one process. `operation` is LOCK_SH or LOCK_EX.
class HeldFile {
public:
    HeldFile(const std::string& path, int operation);
    ~HeldFile();
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;

private:
    int fd_;
};
