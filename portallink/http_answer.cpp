#include "portallink/http_answer.h"

#include <cctype>
#include <cstdint>

namespace {

constexpr size_t kMaxLine = 8192;
constexpr size_t kMaxHead = 64 * 1024;
constexpr size_t kMaxHeaders = 128;
constexpr int kMaxInterimAnswers = 8;

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool IsTokenChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u > 0x20 && u < 0x7F && c != ':';
}

bool ParseStatusLine(std::string_view line, int& status) {
    // HTTP/d.d SP ddd [SP reason]
    if (line.size() < 12 || line.substr(0, 5) != "HTTP/") return false;
    if (!std::isdigit(static_cast<unsigned char>(line[5])) || line[6] != '.' ||
        !std::isdigit(static_cast<unsigned char>(line[7])) || line[8] != ' ')
        return false;
    int value = 0;
    for (size_t i = 9; i < 12; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(line[i]))) return false;
        value = value * 10 + (line[i] - '0');
    }
    if (line.size() > 12 && line[12] != ' ') return false;
    if (value < 100) return false;
    status = value;
    return true;
}

// The last transfer coding of a Transfer-Encoding value is what delimits the body.
bool LastCodingIsChunked(std::string_view value) {
    const size_t comma = value.rfind(',');
    const std::string_view last = Trim(comma == std::string_view::npos ? value : value.substr(comma + 1));
    return EqualsNoCase(last, "chunked");
}

}  // namespace

const std::string* HttpAnswer::Header(std::string_view name) const {
    for (const auto& [key, value] : headers) {
        if (EqualsNoCase(key, name)) return &value;
    }
    return nullptr;
}

bool CHttpAnswerReader::Fill(std::string& error) {
    if (eof_) return false;
    // Drop what has been consumed so that the buffer never holds more than one line or block.
    buffer_.erase(0, pos_);
    pos_ = 0;
    char block[kAnswerBlockSize];
    const long n = source_.Read(block, sizeof(block), error);
    if (n < 0) return false;
    if (n == 0) {
        eof_ = true;
        return false;
    }
    buffer_.append(block, static_cast<size_t>(n));
    return true;
}

bool CHttpAnswerReader::ReadLine(std::string& line, size_t limit, std::string& error) {
    size_t searched = 0;  // relative to pos_, which Fill moves
    for (;;) {
        const size_t nl = buffer_.find('\n', pos_ + searched);
        if (nl != std::string::npos) {
            if (nl - pos_ > limit) {
                error = "answer line too long";
                return false;
            }
            size_t end = nl;
            if (end > pos_ && buffer_[end - 1] == '\r') --end;
            line.assign(buffer_, pos_, end - pos_);
            pos_ = nl + 1;
            return true;
        }
        if (buffer_.size() - pos_ > limit) {
            error = "answer line too long";
            return false;
        }
        searched = buffer_.size() - pos_;
        if (!Fill(error)) {
            if (eof_) error = "connection closed in the middle of the answer head";
            return false;
        }
    }
}

bool CHttpAnswerReader::ReadHead(HttpAnswer& answer, std::string& error) {
    for (int interim = 0; interim <= kMaxInterimAnswers; ++interim) {
        answer.headers.clear();
        std::string line;
        if (!ReadLine(line, kMaxLine, error)) {
            if (eof_ && buffer_.empty()) error = "the server closed the connection without answering";
            return false;
        }
        if (!ParseStatusLine(line, answer.status)) {
            error = "the answer is not HTTP";
            return false;
        }
        size_t headBytes = line.size();
        for (;;) {
            if (!ReadLine(line, kMaxLine, error)) return false;
            headBytes += line.size() + 2;
            if (headBytes > kMaxHead) {
                error = "answer head too large";
                return false;
            }
            if (line.empty()) break;
            if (line.front() == ' ' || line.front() == '\t') {
                if (answer.headers.empty()) {
                    error = "malformed answer header";
                    return false;
                }
                answer.headers.back().second += ' ';
                answer.headers.back().second += Trim(line);
                continue;
            }
            const size_t colon = line.find(':');
            if (colon == std::string::npos || colon == 0) {
                error = "malformed answer header";
                return false;
            }
            for (size_t i = 0; i < colon; ++i) {
                if (!IsTokenChar(line[i])) {
                    error = "malformed answer header";
                    return false;
                }
            }
            if (answer.headers.size() >= kMaxHeaders) {
                error = "too many answer headers";
                return false;
            }
            answer.headers.emplace_back(line.substr(0, colon),
                                        std::string(Trim(std::string_view(line).substr(colon + 1))));
        }
        if (answer.status >= 200 || answer.status == 101) return true;
    }
    error = "too many interim answers";
    return false;
}

bool CHttpAnswerReader::ReadExactly(size_t count, std::string& out, std::string& error) {
    while (count > 0) {
        if (pos_ == buffer_.size() && !Fill(error)) {
            if (eof_) error = "the answer body is shorter than announced";
            return false;
        }
        const size_t take = std::min(count, buffer_.size() - pos_);
        out.append(buffer_, pos_, take);
        pos_ += take;
        count -= take;
    }
    return true;
}

bool CHttpAnswerReader::ReadChunked(std::string& out, std::string& error) {
    for (;;) {
        std::string line;
        if (!ReadLine(line, kMaxLine, error)) return false;
        const std::string_view sizeText = Trim(std::string_view(line).substr(0, line.find(';')));
        if (sizeText.empty() || sizeText.size() > 15) {
            error = "malformed chunk size";
            return false;
        }
        uint64_t size = 0;
        for (char c : sizeText) {
            if (!std::isxdigit(static_cast<unsigned char>(c))) {
                error = "malformed chunk size";
                return false;
            }
            size = size * 16 + static_cast<uint64_t>(std::isdigit(static_cast<unsigned char>(c))
                                                         ? c - '0'
                                                         : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10);
        }
        if (size == 0) break;
        if (size > maxBody_ - out.size()) {
            error = "the answer body exceeds " + std::to_string(maxBody_) + " bytes";
            return false;
        }
        if (!ReadExactly(static_cast<size_t>(size), out, error)) return false;
        if (!ReadLine(line, kMaxLine, error)) return false;
        if (!line.empty()) {
            error = "chunk not followed by a line end";
            return false;
        }
    }
    // Trailer fields up to the empty line; their content is not used.
    size_t trailerBytes = 0;
    for (;;) {
        std::string line;
        if (!ReadLine(line, kMaxLine, error)) return false;
        if (line.empty()) return true;
        trailerBytes += line.size();
        if (trailerBytes > kMaxHead) {
            error = "answer trailer too large";
            return false;
        }
    }
}

bool CHttpAnswerReader::ReadToEnd(std::string& out, std::string& error) {
    out.append(buffer_, pos_, std::string::npos);
    pos_ = buffer_.size();
    while (!eof_) {
        if (out.size() > maxBody_) break;
        if (!Fill(error)) {
            if (eof_) break;
            return false;
        }
        out.append(buffer_, pos_, std::string::npos);
        pos_ = buffer_.size();
    }
    if (out.size() > maxBody_) {
        error = "the answer body exceeds " + std::to_string(maxBody_) + " bytes";
        return false;
    }
    return true;
}

bool CHttpAnswerReader::ReadBody(HttpAnswer& answer, std::string& error) {
    answer.body.clear();
    if (const std::string* te = answer.Header("Transfer-Encoding")) {
        if (LastCodingIsChunked(*te)) return ReadChunked(answer.body, error);
        return ReadToEnd(answer.body, error);
    }
    bool haveLength = false;
    uint64_t length = 0;
    for (const auto& [key, value] : answer.headers) {
        if (!EqualsNoCase(key, "Content-Length")) continue;
        if (value.empty() || value.size() > 15) {
            error = "malformed Content-Length";
            return false;
        }
        uint64_t v = 0;
        for (char c : value) {
            if (!std::isdigit(static_cast<unsigned char>(c))) {
                error = "malformed Content-Length";
                return false;
            }
            v = v * 10 + static_cast<uint64_t>(c - '0');
        }
        if (haveLength && v != length) {
            error = "conflicting Content-Length headers";
            return false;
        }
        haveLength = true;
        length = v;
    }
    if (!haveLength) return ReadToEnd(answer.body, error);
    if (length > maxBody_) {
        error = "the answer body of " + std::to_string(length) + " bytes exceeds " + std::to_string(maxBody_);
        return false;
    }
    answer.body.reserve(static_cast<size_t>(length));
    return ReadExactly(static_cast<size_t>(length), answer.body, error);
}
