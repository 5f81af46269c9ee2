#include "drivers/text/text_instance.h"

#include <charconv>

namespace sitedex::text {

namespace {

std::string normalise(std::string_view request) {
    std::string s;
    for (char c : request) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r') continue;
        s += (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
    }
    return s;
}

bool parseInt(std::string_view s, long long* v) {
    if (s.empty()) return false;
    auto r = std::from_chars(s.data(), s.data() + s.size(), *v);
    return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

std::string onOff(bool on) { return on ? "ON" : "OFF"; }

bool parseOnOff(std::string_view v, bool* out) {
    if (v == "ON") *out = true;
    else if (v == "OFF") *out = false;
    else return false;
    return true;
}

std::string terminatorText(const std::string& t) {
    std::string s = std::to_string(t.size());
    for (unsigned char c : t) s += "," + std::to_string(int(c));
    return s;
}

// "n,b1,...,bn": 1 to 16 byte values. Anything else leaves the terminator as it was.
bool parseTerminator(std::string_view v, std::string* out) {
    std::vector<long long> nums;
    size_t pos = 0;
    while (pos <= v.size()) {
        size_t comma = v.find(',', pos);
        if (comma == std::string_view::npos) comma = v.size();
        long long n;
        if (!parseInt(v.substr(pos, comma - pos), &n)) return false;
        nums.push_back(n);
        pos = comma + 1;
    }
    if (nums.empty() || nums[0] < 1 || nums[0] > 16 || nums.size() != size_t(nums[0]) + 1) return false;
    std::string t;
    for (size_t i = 1; i < nums.size(); ++i) {
        if (nums[i] < 0 || nums[i] > 255) return false;
        t += char(nums[i]);
    }
    *out = t;
    return true;
}

}  // namespace

std::string optionRequest(TextInstance& in, std::string_view request) {
    std::string r = normalise(request);
    if (r.empty()) return {};
    static constexpr std::string_view kNames[] = {"FILEBUFFERS", "QUICKSCAN", "ENDOFRECORD", "CLIP", "TAB"};
    std::string_view name;
    for (std::string_view n : kNames)
        if (n[0] == r[0]) name = n;
    if (name.empty() || r.compare(0, name.size(), name) != 0) return {};
    bool change = r.size() > name.size() && r[name.size()] == '=';
    std::string_view value = change ? std::string_view(r).substr(name.size() + 1) : std::string_view();
    long long n = 0;
    if (name == "FILEBUFFERS") {
        std::string answer = std::to_string(in.file.bufferSize());
        // Between 1 and 65536 blocks of 512 bytes; other values change nothing.
        if (change && parseInt(value, &n) && n >= 1 && n <= 65536) in.file.setBufferSize(uint32_t(n) * 512);
        return answer;
    }
    if (name == "QUICKSCAN") {
        std::string answer = onOff(in.file.quickScan());
        bool on;
        if (change && parseOnOff(value, &on)) in.file.setQuickScan(on);
        return answer;
    }
    if (name == "ENDOFRECORD") {
        std::string answer = terminatorText(in.terminator);
        if (change) parseTerminator(value, &in.terminator);
        return answer;
    }
    if (name == "CLIP") {
        std::string answer = onOff(in.clip);
        if (change) parseOnOff(value, &in.clip);
        return answer;
    }
    // TAB
    std::string answer = std::to_string(in.tabWidth);
    if (change && parseInt(value, &n) && n >= -100000 && n <= 100000) in.tabWidth = int(n);
    return answer;
}

}  // namespace sitedex::text
