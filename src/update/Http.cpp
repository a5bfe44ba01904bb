#include "update/Http.h"

#include "platform/AsciiText.h"
#include "update/UpdateKind.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <curl/curl.h>

namespace {

const long TimeoutMs = 5000;
const auto StallTime = std::chrono::seconds(5);

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        const bool crLf = text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n';
        start = end + (crLf ? 2 : 1);
    }
    return lines;
}

// A blank line is no header; it stays in the section like any other line without an entry.
bool IsSectionHeader(const std::string& line) {
    return !line.empty() && line.front() == '[' && line.find(']') == line.size() - 1;
}

std::size_t AppendBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto& body = *static_cast<std::string*>(user);
    const std::size_t length = size * count;
    // Taking less than was offered ends the transfer with an error.
    if (length > THttp::MaxBody - body.size())
        return 0;
    body.append(data, length);
    return length;
}

// libcurl's own low-speed check averages over several seconds, so a burst followed by silence
// would hold the window for twice the time; silence is measured from the last byte instead.
struct TStallWatch {
    std::chrono::steady_clock::time_point LastData = std::chrono::steady_clock::now();
    curl_off_t Received = 0;
};

int ConnectionReady(void* user, char*, char*, int, int) {
    static_cast<TStallWatch*>(user)->LastData = std::chrono::steady_clock::now();
    return CURL_PREREQFUNC_OK;
}

int WatchProgress(void* user, curl_off_t, curl_off_t received, curl_off_t, curl_off_t) {
    auto& watch = *static_cast<TStallWatch*>(user);
    const auto now = std::chrono::steady_clock::now();
    if (received != watch.Received) {
        watch.Received = received;
        watch.LastData = now;
    }
    return now - watch.LastData > StallTime ? 1 : 0;
}

using THeaders = std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)>;

} // namespace

THttp::THttp() : Client(curl_easy_init()) {}

THttp::~THttp() = default;

void THttp::TClientDeleter::operator()(void* client) const {
    curl_easy_cleanup(client);
}

void THttp::SetAgent(const std::string& agent) {
    Agent = agent;
}

bool THttp::GetPage(const std::string& address) {
    Body.clear();
    Lines.clear();
    Ok = false;
    CURL* client = Client.get();
    if (!client)
        return false;
    curl_easy_reset(client);
    const THeaders headers(curl_slist_append(nullptr, "Accept: text/html, */*"),
                           curl_slist_free_all);
    curl_easy_setopt(client, CURLOPT_URL, address.c_str());
    curl_easy_setopt(client, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(client, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(client, CURLOPT_USERAGENT, Agent.c_str());
    curl_easy_setopt(client, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(client, CURLOPT_CONNECTTIMEOUT_MS, TimeoutMs);
    TStallWatch watch;
    curl_easy_setopt(client, CURLOPT_PREREQFUNCTION, ConnectionReady);
    curl_easy_setopt(client, CURLOPT_PREREQDATA, &watch);
    curl_easy_setopt(client, CURLOPT_XFERINFOFUNCTION, WatchProgress);
    curl_easy_setopt(client, CURLOPT_XFERINFODATA, &watch);
    curl_easy_setopt(client, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(client, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(MaxBody));
    curl_easy_setopt(client, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(client, CURLOPT_WRITEFUNCTION, AppendBody);
    curl_easy_setopt(client, CURLOPT_WRITEDATA, &Body);
    long status = 0;
    Ok = curl_easy_perform(client) == CURLE_OK &&
         curl_easy_getinfo(client, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK && status == 200;
    if (Ok)
        Lines = SplitLines(Body);
    else
        Body.clear();
    return Ok;
}

void THttp::SelectSection(const std::string& name) {
    Lines = SplitLines(Body);
    const std::string header = "[" + name + "]";
    const auto first = std::find_if(Lines.begin(), Lines.end(), [&](const std::string& line) {
        return platform::SameTextAscii(line, header);
    });
    if (first == Lines.end()) {
        Lines.clear();
        return;
    }
    Lines.erase(Lines.begin(), first);
    Lines.erase(std::find_if(Lines.begin() + 1, Lines.end(), IsSectionHeader), Lines.end());
}

std::string THttp::GetValue(const std::string& name) const {
    if (!Ok)
        return "0";
    // A blank line spoils the section: no value of it is read, so it packs to -1.
    if (std::find(Lines.begin(), Lines.end(), std::string()) != Lines.end())
        return {};
    for (const std::string& line : Lines) {
        const std::size_t equals = line.find('=');
        if (equals != std::string::npos &&
            platform::SameTextAscii(std::string_view(line).substr(0, equals), name))
            return line.substr(equals + 1);
    }
    return {};
}

int THttp::CompareVersions(const std::string& localFile, const std::string& localProduct) const {
    const int remoteFile = PackVersion(GetValue("FileVersion"));
    const int remoteProduct = PackVersion(GetValue("ProductVersion"));
    const int file = PackVersion(localFile);
    const int product = PackVersion(localProduct);
    if (remoteProduct > product && remoteFile > file)
        return updatekind::Major;
    return remoteFile > file ? updatekind::Minor : updatekind::None;
}

int THttp::PackVersion(const std::string& version) {
    // Parts are the runs between dots and blanks; an empty run is no part.
    std::vector<std::int32_t> parts;
    std::size_t i = 0;
    while (i < version.size()) {
        const std::size_t end = std::min(version.find_first_of(". ", i), version.size());
        if (end > i) {
            std::int32_t part = 0;
            const auto [stop, error] =
                std::from_chars(version.data() + i, version.data() + end, part);
            if (error != std::errc() || stop != version.data() + end)
                return -1;
            parts.push_back(part);
        }
        i = end + 1;
    }
    if (parts.size() != 4)
        return -1;
    // A part too large for its field spills into the next one; the sum wraps at 32 bits.
    const auto packed = (static_cast<std::uint32_t>(parts[0]) << 23) +
                        (static_cast<std::uint32_t>(parts[1]) << 15) +
                        (static_cast<std::uint32_t>(parts[2]) << 7) +
                        static_cast<std::uint32_t>(parts[3]);
    return static_cast<int>(packed);
}
