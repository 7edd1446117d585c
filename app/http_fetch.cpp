#include "app/http_fetch.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include "platform/log.h"

namespace {

constexpr const char* kModule = "http";
// The portrait is stored in pieces of this size, as it is read.
constexpr size_t kFileChunkBytes = 10240;

struct CurlDeleter {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
using CurlHandle = std::unique_ptr<CURL, CurlDeleter>;

// libcurl wants its global set-up once per process before any handle exists; never torn down, as other
// threads (and PortalLink) may still be using libcurl when the program ends.
bool CurlReady() {
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] { ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
    return ready;
}

class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) : fd_(fd) {}
    ~UniqueFd() { Close(); }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int get() const { return fd_; }
    void Reset(int fd) {
        Close();
        fd_ = fd;
    }
    // False when close itself reports an error (on some file systems the last write error shows here).
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int fd_;
};

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

class BodySink {
public:
    virtual ~BodySink() = default;
    virtual bool Write(const char* data, size_t size) = 0;
    // Forgets what was written, before the request is tried again.
    virtual bool Restart() = 0;
};

class MemorySink : public BodySink {
public:
    explicit MemorySink(std::string* body) : body_(body) { body_->clear(); }
    bool Write(const char* data, size_t size) override {
        body_->append(data, size);
        return true;
    }
    bool Restart() override {
        body_->clear();
        return true;
    }

private:
    std::string* body_;
};

// A temporary file beside the target that becomes the target only through Commit(); destroyed
// uncommitted, it takes the temporary file with it.
class FileSink : public BodySink {
public:
    explicit FileSink(std::string path) : path_(std::move(path)) { chunk_.reserve(kFileChunkBytes); }
    ~FileSink() override {
        fd_.Close();
        if (!temp_.empty()) ::unlink(temp_.c_str());
    }

    bool Open() {
        const size_t slash = path_.rfind('/');
        dir_ = slash == std::string::npos ? "." : slash == 0 ? "/" : path_.substr(0, slash);
        const std::string name = slash == std::string::npos ? path_ : path_.substr(slash + 1);
        std::string pattern = dir_ + "/." + name + ".part-XXXXXX";
        const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
        if (fd < 0) {
            Log(LogLevel::kWarning, kModule, "cannot create a temporary file in %s: %s", dir_.c_str(),
                std::strerror(errno));
            return false;
        }
        fd_.Reset(fd);
        temp_ = std::move(pattern);
        return true;
    }

    bool Write(const char* data, size_t size) override {
        while (size > 0) {
            const size_t take = std::min(size, kFileChunkBytes - chunk_.size());
            chunk_.insert(chunk_.end(), data, data + take);
            data += take;
            size -= take;
            if (chunk_.size() == kFileChunkBytes && !Flush()) return false;
        }
        return true;
    }

    bool Restart() override {
        chunk_.clear();
        return ::ftruncate(fd_.get(), 0) == 0 && ::lseek(fd_.get(), 0, SEEK_SET) == 0;
    }

    bool Commit() {
        if (!Flush() || ::fsync(fd_.get()) != 0 || !fd_.Close()) {
            Log(LogLevel::kWarning, kModule, "cannot complete %s: %s", temp_.c_str(), std::strerror(errno));
            return false;
        }
        if (::rename(temp_.c_str(), path_.c_str()) != 0) {
            Log(LogLevel::kWarning, kModule, "cannot rename %s to %s: %s", temp_.c_str(), path_.c_str(),
                std::strerror(errno));
            return false;
        }
        temp_.clear();
        // The rename itself lasts only once the folder is synced; the picture is whole either way.
        const UniqueFd dir(::open(dir_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (dir.get() >= 0) ::fsync(dir.get());
        return true;
    }

private:
    bool Flush() {
        if (chunk_.empty()) return true;
        const bool ok = WriteAll(fd_.get(), chunk_.data(), chunk_.size());
        chunk_.clear();
        return ok;
    }

    std::string path_;
    std::string dir_;
    std::string temp_;
    UniqueFd fd_;
    std::vector<char> chunk_;
};

struct Transfer {
    CURL* curl = nullptr;
    BodySink* sink = nullptr;
    uint64_t maxBytes = 0;
    uint64_t received = 0;
    bool notOk = false;
    bool tooLarge = false;
    bool sinkFailed = false;
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const size_t n = size * count;
    // An error page is never stored, not even for a moment.
    long status = 0;
    curl_easy_getinfo(t->curl, CURLINFO_RESPONSE_CODE, &status);
    if (status != 200) {
        t->notOk = true;
        return 0;
    }
    if (n > t->maxBytes - t->received) {
        t->tooLarge = true;
        return 0;
    }
    t->received += n;
    if (!t->sink->Write(data, n)) {
        t->sinkFailed = true;
        return 0;
    }
    return n;
}

HttpFetchStatus Classify(CURLcode code, const Transfer& t, CURL* curl) {
    if (t.tooLarge || code == CURLE_FILESIZE_EXCEEDED) return HttpFetchStatus::kTooLarge;
    if (t.notOk) return HttpFetchStatus::kNotOk;
    if (t.sinkFailed) return HttpFetchStatus::kFileFailed;
    switch (code) {
        case CURLE_UNSUPPORTED_PROTOCOL:
        case CURLE_URL_MALFORMAT:
            return HttpFetchStatus::kBadAddress;
        case CURLE_COULDNT_RESOLVE_PROXY:
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_CONNECT:
            return HttpFetchStatus::kConnectFailed;
        case CURLE_OPERATION_TIMEDOUT: {
            // Before the connection was made this is the connect time-out.
            curl_off_t connected_us = 0;
            curl_easy_getinfo(curl, CURLINFO_CONNECT_TIME_T, &connected_us);
            return connected_us == 0 ? HttpFetchStatus::kConnectFailed : HttpFetchStatus::kTimedOut;
        }
        default:
            return HttpFetchStatus::kTransferFailed;
    }
}

HttpFetchResult Fetch(const std::string& url, const HttpFetchOptions& options, BodySink* sink) {
    HttpFetchResult result;
    if (!CurlReady()) return result;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const CurlHandle curl(curl_easy_init());
        if (!curl) return result;
        Transfer t;
        t.curl = curl.get();
        t.sink = sink;
        t.maxBytes = options.maxBodyBytes;
        char error_text[CURL_ERROR_SIZE] = {};
        CURL* c = curl.get();
        curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error_text);
        curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
        // An address handed out by the web service must not reach a local file or another protocol.
        curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
        curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options.connectTimeout.count()));
        curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, static_cast<long>(options.overallTimeout.count()));
        curl_easy_setopt(c, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(options.maxBodyBytes));
        curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, OnBody);
        curl_easy_setopt(c, CURLOPT_WRITEDATA, &t);
        if (curl_easy_setopt(c, CURLOPT_URL, url.c_str()) != CURLE_OK) {
            result.status = HttpFetchStatus::kBadAddress;
            return result;
        }
        const CURLcode code = curl_easy_perform(c);
        result.httpStatus = 0;
        curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &result.httpStatus);
        result.bodyBytes = t.received;
        if (code == CURLE_OK) {
            result.status = result.httpStatus == 200 ? HttpFetchStatus::kOk : HttpFetchStatus::kNotOk;
        } else {
            result.status = Classify(code, t, c);
            // When the body handler stopped the transfer, libcurl's text only says that it was stopped.
            if (t.notOk || t.tooLarge || t.sinkFailed) error_text[0] = '\0';
        }
        if (!result.ok()) {
            Log(LogLevel::kInfo, kModule, "GET %s: %s (HTTP %ld%s%s)", url.c_str(), HttpFetchStatusName(result.status),
                result.httpStatus, error_text[0] ? ", " : "", error_text);
        }
        if (result.status != HttpFetchStatus::kConnectFailed || attempt == 1 || !sink->Restart()) return result;
    }
    return result;
}

}  // namespace

HttpFetchResult HttpGetToMemory(const std::string& url, const HttpFetchOptions& options, std::string* body) {
    MemorySink sink(body);
    const HttpFetchResult result = Fetch(url, options, &sink);
    if (!result.ok()) body->clear();
    return result;
}

HttpFetchResult HttpGetToFile(const std::string& url, const HttpFetchOptions& options, const std::string& path) {
    FileSink sink(path);
    if (!sink.Open()) {
        HttpFetchResult result;
        result.status = HttpFetchStatus::kFileFailed;
        return result;
    }
    HttpFetchResult result = Fetch(url, options, &sink);
    if (result.ok() && result.bodyBytes == 0) result.status = HttpFetchStatus::kEmptyBody;
    if (result.ok() && !sink.Commit()) result.status = HttpFetchStatus::kFileFailed;
    return result;
}

const char* HttpFetchStatusName(HttpFetchStatus status) {
    // In the order of HttpFetchStatus.
    static constexpr const char* kNames[] = {
        "ok",
        "not an http or https address",
        "no connection",
        "status other than 200",
        "body too large",
        "timed out",
        "transfer failed",
        "file not written",
        "empty body",
    };
    static_assert(std::size(kNames) == static_cast<size_t>(HttpFetchStatus::kEmptyBody) + 1);
    const auto index = static_cast<size_t>(status);
    return index < std::size(kNames) ? kNames[index] : "?";
}
