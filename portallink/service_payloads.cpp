#include "portallink/service_payloads.h"

#include <json/json.h>

#include <cctype>
#include <cmath>
#include <limits>
#include <memory>

namespace {

constexpr int kJsonNestingLimit = 200;

// The reader reports its errors over several lines; the log gets one.
std::string OneLine(std::string text) {
    for (char& c : text) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    size_t start = 0;
    while (start < text.size() && text[start] == ' ') ++start;
    return text.substr(start);
}

bool ParseJson(const std::string& text, Json::Value& root, std::string& diagnostic) {
    Json::CharReaderBuilder builder;
    builder["allowComments"] = true;
    builder["collectComments"] = false;
    builder["strictRoot"] = false;
    builder["failIfExtra"] = false;
    builder["stackLimit"] = kJsonNestingLimit;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errors;
    try {
        if (!reader->parse(text.data(), text.data() + text.size(), &root, &errors)) {
            diagnostic = "the result is not JSON: " + OneLine(errors);
            return false;
        }
    } catch (const std::exception& e) {
        diagnostic = std::string("the result is not JSON: ") + e.what();
        return false;
    }
    return true;
}

std::string LowerAscii(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string UpperAscii(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// Decimal text as the service's integers are read: leading blanks, an optional sign, then leading digits
// (0 when there are none). False when the digits do not fit [lo, hi].
bool DecimalText(const std::string& text, int64_t lo, int64_t hi, int64_t& out) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    // Accumulate towards the sign so that the most negative value fits.
    int64_t value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        const int digit = text[i] - '0';
        if (negative) {
            if (value < (lo + digit) / 10) return false;
            value = value * 10 - digit;
        } else {
            if (value > (hi - digit) / 10) return false;
            value = value * 10 + digit;
        }
    }
    out = value;
    return true;
}

// Reads the fields of one answer; the first value that cannot be converted makes the answer bad.
class CFieldReader {
public:
    bool Ok() const { return error_.empty(); }
    const std::string& Error() const { return error_; }

    int64_t Integer(const Json::Value& v, const char* key, int64_t lo, int64_t hi) {
        switch (v.type()) {
            case Json::nullValue:
                return 0;
            case Json::booleanValue:
                return v.asBool() ? 1 : 0;
            case Json::intValue: {
                const int64_t x = v.asInt64();
                if (x >= lo && x <= hi) return x;
                break;
            }
            case Json::uintValue: {
                const uint64_t x = v.asUInt64();
                if (x <= static_cast<uint64_t>(hi)) return static_cast<int64_t>(x);
                break;
            }
            case Json::realValue: {
                // Whole numbers are taken as they are; fractions as their decimal text would read.
                const double d = std::trunc(v.asDouble());
                if (d >= static_cast<double>(lo) && d < -static_cast<double>(lo) && d <= static_cast<double>(hi))
                    return static_cast<int64_t>(d);
                break;
            }
            case Json::stringValue: {
                int64_t x = 0;
                if (DecimalText(v.asString(), lo, hi, x)) return x;
                break;
            }
            default:
                Fail(key, "is not a number");
                return 0;
        }
        Fail(key, "is out of range");
        return 0;
    }

    int32_t Int32(const Json::Value& v, const char* key) {
        return static_cast<int32_t>(
            Integer(v, key, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
    }
    int64_t Int64(const Json::Value& v, const char* key) {
        return Integer(v, key, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max());
    }
    bool Flag(const Json::Value& v, const char* key) { return Int32(v, key) != 0; }

    std::string Text(const Json::Value& v, const char* key) {
        switch (v.type()) {
            case Json::nullValue:
                return {};
            case Json::arrayValue:
            case Json::objectValue:
                Fail(key, "is not text");
                return {};
            default:
                return v.asString();
        }
    }

    bool Succeed(const Json::Value& v) {
        if (v.isBool()) return v.asBool();
        return LowerAscii(Text(v, "succeed")) == "true";
    }

private:
    void Fail(const char* key, const char* what) {
        if (error_.empty()) error_ = std::string("\"") + key + "\" " + what;
    }

    std::string error_;
};

bool RequireObject(const Json::Value& root, std::string& diagnostic) {
    if (root.isObject()) return true;
    diagnostic = "the result is not a JSON object";
    return false;
}

bool PresentNotNull(const Json::Value& root, const char* key) { return root.isMember(key) && !root[key].isNull(); }

bool EqualsNoCase(const std::string& a, const std::string& b) { return LowerAscii(a) == LowerAscii(b); }

}  // namespace

LogonOutcome InterpretLogon(const std::string& result, bool readLimits) {
    LogonOutcome out;
    auto bad = [&out](std::string why) {
        out = LogonOutcome{};
        out.code = kLogonBadAnswerCode;
        out.message = portal_text::kJsonFailed;
        out.diagnostic = std::move(why);
        return out;
    };
    Json::Value parsed;
    std::string diagnostic;
    if (!ParseJson(result, parsed, diagnostic) || !RequireObject(parsed, diagnostic)) return bad(diagnostic);
    const Json::Value& root = parsed;  // const: looking a key up must not add it
    // Without a code the answer says nothing about the logon; taking it as 0 would log on anybody.
    if (!root.isMember("code")) return bad("the logon answer has no \"code\"");
    CFieldReader fields;
    out.code = fields.Int32(root["code"], "code");
    switch (out.code) {
        case 0:
            out.message = fields.Text(root["msg"], "msg");
            break;
        case -1:
            out.message = portal_text::kLogonNoAccount;
            break;
        case -2:
            out.message = portal_text::kLogonBadPassword;
            break;
        case -9:
            out.message = portal_text::kLogonException;
            break;
        default:
            break;
    }
    if (out.code == 0) {
        if (readLimits) {
            if (root.isMember("maxStorage")) out.maxStorage = fields.Int64(root["maxStorage"], "maxStorage");
            if (root.isMember("duration")) out.duration = fields.Int32(root["duration"], "duration");
        }
        if (root.isMember("portrait")) {
            std::string portrait = fields.Text(root["portrait"], "portrait");
            if (EqualsNoCase(portrait, kPlaceholderPortrait)) portrait.clear();
            out.portrait = std::move(portrait);
        }
    }
    if (!fields.Ok()) return bad(fields.Error());
    return out;
}

bool InterpretVersion(const std::string& result, std::string& version, std::string& diagnostic) {
    version.clear();
    Json::Value parsed;
    if (!ParseJson(result, parsed, diagnostic) || !RequireObject(parsed, diagnostic)) return false;
    const Json::Value& root = parsed;
    CFieldReader fields;
    std::string text = fields.Text(root["version"], "version");
    if (!fields.Ok()) {
        diagnostic = fields.Error();
        return false;
    }
    version = UpperAscii(std::move(text));
    return true;
}

bool InterpretActivityList(const std::string& result, std::vector<ActivityData>& activities, std::string& diagnostic) {
    activities.clear();
    Json::Value parsed;
    if (!ParseJson(result, parsed, diagnostic) || !RequireObject(parsed, diagnostic)) return false;
    const Json::Value& root = parsed;
    const Json::Value& list = root["activities"];
    if (list.isNull()) return true;
    if (!list.isArray()) {
        diagnostic = "\"activities\" is not an array";
        return false;
    }
    CFieldReader fields;
    activities.reserve(list.size());
    for (const Json::Value& item : list) {
        if (!item.isObject()) {
            diagnostic = "an element of \"activities\" is not an object";
            activities.clear();
            return false;
        }
        ActivityData a;
        a.title = fields.Text(item["title"], "title");
        a.id = fields.Int32(item["id"], "id");
        a.cloudRecord = item.isMember("cloudRecord") && fields.Flag(item["cloudRecord"], "cloudRecord");
        if (!fields.Ok()) {
            diagnostic = fields.Error();
            activities.clear();
            return false;
        }
        activities.push_back(std::move(a));
    }
    return true;
}

PrepareOutcome InterpretPrepare(const std::string& result, bool prepare2, bool recordingWanted, LiveInfoData& info) {
    PrepareOutcome out;
    auto bad = [&out](std::string why) {
        out.kind = PrepareKind::kBadAnswer;
        out.message = portal_text::kJsonFailed;
        out.diagnostic = std::move(why);
        return out;
    };
    Json::Value parsed;
    std::string diagnostic;
    if (!ParseJson(result, parsed, diagnostic) || !RequireObject(parsed, diagnostic)) return bad(diagnostic);
    const Json::Value& root = parsed;  // const: looking a key up must not add it
    CFieldReader fields;
    if (!fields.Succeed(root["succeed"])) {
        out.kind = PrepareKind::kNotSucceeded;
        out.message = PresentNotNull(root, "msg") ? fields.Text(root["msg"], "msg") : portal_text::kUnknownReason;
        if (!fields.Ok()) return bad(fields.Error());
        return out;
    }
    // Filled aside and committed whole, so that a bad field never leaves the live info half overwritten.
    LiveInfoData next = info;
    if (root.isMember("protocol") && LowerAscii(fields.Text(root["protocol"], "protocol")) == "rtmp") next.isRtmp = 1;
    next.server = fields.Text(root["server"], "server");
    next.port = fields.Int32(root["port"], "port");
    next.tube = fields.Int32(root["tube"], "tube");
    if (prepare2) next.rtmpURL = PresentNotNull(root, "rtmpURL") ? fields.Text(root["rtmpURL"], "rtmpURL") : "";
    next.liveId = PresentNotNull(root, "liveId") ? fields.Int32(root["liveId"], "liveId") : -1;
    next.title = PresentNotNull(root, "title") ? fields.Text(root["title"], "title") : "";
    if (prepare2) {
        if (root.isMember("storageUsed")) next.storageUsed = fields.Int64(root["storageUsed"], "storageUsed");
        if (root.isMember("canRecord")) next.canRecord = fields.Flag(root["canRecord"], "canRecord");
        out.message = next.canRecord == recordingWanted ? std::string(portal_text::kPrepare2Done)
                                                        : fields.Text(root["message"], "message");
    } else {
        out.message = portal_text::kPrepareDone;
    }
    if (!fields.Ok()) return bad(fields.Error());
    info = std::move(next);
    out.kind = PrepareKind::kSucceeded;
    return out;
}
