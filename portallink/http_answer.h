// Reads one HTTP answer (status line, headers, body) from a byte source: the socket of a SOAP call, or a
// buffer when the answer path is fuzzed. Every size is bounded so that a hostile server cannot make the
// library hold more than a few megabytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class IByteSource {
public:
    virtual ~IByteSource() = default;
    // Fills buf with what is available: > 0 bytes read, 0 the peer closed the connection, < 0 failure
    // (error says why: time-out, reset, ...).
    virtual long Read(char* buf, size_t size, std::string& error) = 0;
};

struct HttpAnswer {
    int status = 0;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;

    // The first header of that name (case-insensitive), or null.
    const std::string* Header(std::string_view name) const;
};

// Answers are a few hundred bytes; an activity list of thousands of entries stays far below this. The cap
// also bounds what the JSON reader builds from the result (roughly 70 bytes of memory per byte at worst).
inline constexpr size_t kMaxAnswerBody = 1u << 20;
inline constexpr size_t kAnswerBlockSize = 4096;

class CHttpAnswerReader {
public:
    CHttpAnswerReader(IByteSource& source, size_t maxBody) : source_(source), maxBody_(maxBody) {}

    // Status line and headers; interim 1xx answers are skipped. False when the bytes are not an HTTP answer.
    bool ReadHead(HttpAnswer& answer, std::string& error);
    // The body as the headers delimit it: chunked, Content-Length, or up to the end of the connection.
    bool ReadBody(HttpAnswer& answer, std::string& error);

private:
    bool Fill(std::string& error);
    bool ReadLine(std::string& line, size_t limit, std::string& error);
    bool ReadExactly(size_t count, std::string& out, std::string& error);
    bool ReadChunked(std::string& out, std::string& error);
    bool ReadToEnd(std::string& out, std::string& error);

    IByteSource& source_;
    size_t maxBody_;
    std::string buffer_;
    size_t pos_ = 0;
    bool eof_ = false;
};
