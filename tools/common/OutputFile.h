#pragma once

#include <string>

// A file that appears under its real name only once it is complete. It is written as an unnamed
// file in the target's folder where the file system allows that (so not even a killed tool
// leaves anything behind), otherwise under a hidden temporary name beside the target, created
// exclusively and removed on failure and on SIGINT, SIGTERM, SIGHUP and SIGPIPE.
class TOutputFile {
public:
    explicit TOutputFile(std::string target);
    TOutputFile(const TOutputFile&) = delete;
    TOutputFile& operator=(const TOutputFile&) = delete;
    // Removes the file unless it was committed.
    ~TOutputFile();

    bool Create();
    int Fd() const { return Descriptor; }
    // Gives the file its real name; fails, replacing nothing, when that name exists. Durable
    // means flushed to the disk first.
    bool CommitNew(bool durable);
    // Gives the file its real name in place of the file there.
    bool CommitReplace(bool durable);
    void Discard();
    const std::string& Error() const { return Err; }

private:
    bool Fail(const std::string& what, int error);
    bool Flush(bool durable);
    // Links the unnamed file under a fresh temporary name, for a rename over the target.
    bool NameTemporary();
    bool Close(bool durable);
    int LinkUnnamed(const std::string& path);
    void SyncFolder();

    std::string Target;
    std::string Folder;
    std::string Temporary;
    int Descriptor = -1;
    bool Unnamed = false;
    std::string Err;
};
