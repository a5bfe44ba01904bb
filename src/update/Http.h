#pragma once

#include <memory>
#include <string>
#include <vector>

// Fetches the version file over plain HTTP and reads the two versions out of its section.
// One object serves one check.
class THttp {
public:
    THttp();
    ~THttp();
    THttp(const THttp&) = delete;
    THttp& operator=(const THttp&) = delete;

    // A longer response is a failed fetch: the version file is a few lines.
    static constexpr std::size_t MaxBody = 64 * 1024;

    bool Ok = false;
    std::string Body;
    std::string Agent;
    std::vector<std::string> Lines;

    void SetAgent(const std::string& agent);
    // True exactly when the whole response arrived with status 200; redirects are not followed.
    bool GetPage(const std::string& address);
    // Cuts Lines down to the section "[name]", header first; no lines when it is missing.
    void SelectSection(const std::string& name);
    // The text after the first '=' of the entry name=...; "0" after a failed fetch, empty when
    // the section holds a blank line.
    std::string GetValue(const std::string& name) const;
    // An updatekind number: Major, Minor or None.
    int CompareVersions(const std::string& localFile, const std::string& localProduct) const;

    // a.b.c.d as a<<23 + b<<15 + c<<7 + d; -1 unless there are exactly four integer parts.
    static int PackVersion(const std::string& version);

private:
    struct TClientDeleter {
        void operator()(void* client) const;
    };
    std::unique_ptr<void, TClientDeleter> Client;
};
