// The MD5 digest (RFC 1321) as 32 lower-case hexadecimal digits, and the rule by which the logon dialog
// turns a typed password into what is sent to the web service. Pure; any thread.
#pragma once

#include <string>
#include <string_view>

class CMD5Checksum {
public:
    // The digest of bytes, two hexadecimal digits per digest byte in digest order.
    static std::string GetMD5(std::string_view bytes);
};

// What the logon sends for a typed password: the stored EncPassword unchanged when the password box
// still holds exactly it (it is a digest already); otherwise the password without white space at either
// end, digested from its UTF-8 bytes, or "" when nothing is left.
std::string LogonPasswordDigest(std::string_view typed, std::string_view storedEncPassword);
