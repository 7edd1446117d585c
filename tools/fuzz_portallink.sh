#!/usr/bin/env bash
# Builds PortalLink's libFuzzer target (clang, AddressSanitizer + UndefinedBehaviorSanitizer) and runs it for
# a fixed time over the answer path: HTTP answer, SOAP response or fault, JSON result, records.
# Usage: tools/fuzz_portallink.sh [seconds]   (default 60). Findings land in build-fuzz/ as crash-* files.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
dir=build-fuzz
jobs="${BV_JOBS:-$(nproc)}"

cmake -G Ninja -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DBV_SANITIZE=address,undefined -DBV_FUZZ=ON -DBV_TESTS=OFF -DBV_BENCH=OFF -DBV_PROGRAM=OFF >/dev/null
ninja -C "$dir" -j "$jobs" portallink_answer_fuzz

# Seeds: one well-formed answer of each kind. Byte 0 picks the operation (top bit: the rest is the JSON
# result itself), byte 1 the flags.
corpus="$dir/portallink_fuzz_corpus"
mkdir -p "$corpus"
envelope() {  # operation, result (already XML-escaped)
    printf '<?xml version="1.0" encoding="UTF-8"?><soapenv:Envelope xmlns:soapenv="http://schemas.xmlsoap.org/soap/envelope/"><soapenv:Body><ns1:%sResponse xmlns:ns1="urn:p"><%sReturn>%s</%sReturn></ns1:%sResponse></soapenv:Body></soapenv:Envelope>' "$1" "$1" "$2" "$1" "$1"
}
answer() {  # file, selector byte, flags byte, operation, result
    local body
    body="$(envelope "$4" "$5")"
    { printf "\\x$2\\x$3"; printf 'HTTP/1.1 200 OK\r\nContent-Length: %d\r\n\r\n%s' "${#body}" "$body"; } >"$corpus/$1"
}
answer seed-logon 00 03 Logon '{"code":0,"msg":"hi","maxStorage":5000000000,"duration":"60","portrait":"http://x/p.png"}'
answer seed-version 01 00 Version '{"version":"v1.2"}'
answer seed-list 02 00 ActivityList '{"activities":[{"id":1,"title":"&#x4E2D;","cloudRecord":1},{"id":"2","title":"b"}]}'
answer seed-prepare 03 00 Prepare '{"succeed":true,"protocol":"RTMP","server":"h","port":1935,"tube":"7","liveId":null,"title":null}'
answer seed-prepare2 04 01 Prepare2 '{"succeed":"TRUE","rtmpURL":"rtmp://h/live/7","storageUsed":"12","canRecord":0,"message":"m"}'
body="$(envelope Prepare2 '{&quot;succeed&quot;:false,&quot;msg&quot;:&quot;no&quot;}')"
{ printf '\x04\x05'; printf 'HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n%x;x=1\r\n%s\r\n0\r\nT: 1\r\n\r\n' "${#body}" "$body"; } >"$corpus/seed-chunked"
fault='<soapenv:Envelope xmlns:soapenv="http://schemas.xmlsoap.org/soap/envelope/"><soapenv:Body><soapenv:Fault><faultcode>c</faultcode><faultstring>s</faultstring></soapenv:Fault></soapenv:Body></soapenv:Envelope>'
{ printf '\x05\x00'; printf 'HTTP/1.1 500 Internal\r\n\r\n%s' "$fault"; } >"$corpus/seed-fault"
{ printf '\x05\x00'; printf 'HTTP/1.1 302 Found\r\nLocation: /moved/services/BrevacastPlusService?wsdl\r\n\r\n'; } >"$corpus/seed-redirect"
{ printf '\x00\x00'; printf 'HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 202 Accepted\r\n\r\n'; } >"$corpus/seed-202"
{ printf '\x82\x00'; printf '/* c */ {"activities":[{"id":1e3,"title":42,"cloudRecord":true}]}'; } >"$corpus/seed-json-list"
{ printf '\x80\x02'; printf '{"code":"-2","maxStorage":"9223372036854775807"}'; } >"$corpus/seed-json-logon"

cd "$dir"
./portallink/portallink_answer_fuzz -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=2048 -timeout=10 \
    -print_final_stats=1 "portallink_fuzz_corpus"
