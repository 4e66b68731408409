#include "fuzz/plainreading.h"

namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool isContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

void appendCodePoint(std::u16string &out, char32_t c) {
    if (c < 0x10000) {
        out += static_cast<char16_t>(c);
    } else {
        out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
        out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    }
}

// UTF-8, one replacement character for each byte that starts no valid sequence, and one for
// each byte of a sequence cut short by the end. *valid tells whether any was needed.
std::u16string decodeUtf8(std::string_view bytes, bool *valid) {
    std::u16string out;
    *valid = true;
    size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i++]);
        if (lead < 0x80) {
            out += lead;
            continue;
        }
        size_t length = 0;
        char32_t c = 0, least = 0;
        if (lead >= 0xC2 && lead < 0xE0) {
            length = 2, c = lead & 0x1F, least = 0x80;
        } else if (lead >= 0xE0 && lead < 0xF0) {
            length = 3, c = lead & 0x0F, least = 0x800;
        } else if (lead >= 0xF0 && lead < 0xF5) {
            length = 4, c = lead & 0x07, least = 0x10000;
        }
        bool good = length > 0;
        if (good && bytes.size() - i < length - 1) {
            // Too few bytes left: an error at once if one of them cannot continue the sequence,
            // otherwise the end cut it short.
            const size_t left = bytes.size() - i;
            bool broken = false;
            for (size_t k = 0; k < left && k < 2; ++k)
                broken = broken || !isContinuation(static_cast<unsigned char>(bytes[i + k]));
            if (!broken) {
                *valid = false;
                out.append(1 + left, kReplacement);
                return out;
            }
            good = false;
        }
        for (size_t k = 0; good && k + 1 < length; ++k) {
            const auto b = static_cast<unsigned char>(bytes[i + k]);
            good = isContinuation(b);
            c = (c << 6) | (b & 0x3F);
        }
        good = good && c >= least && !(c >= 0xD800 && c <= 0xDFFF) && c <= 0x10FFFF;
        if (!good) {
            *valid = false;
            out += kReplacement;
            continue;
        }
        appendCodePoint(out, c);
        i += length - 1;
    }
    return out;
}

// UTF-16 after its mark: unit by unit, unchecked; an odd last byte is a replacement character,
// and a single byte on its own reads as nothing at all.
std::u16string decodeUtf16(std::string_view bytes, bool bigEndian) {
    std::u16string out;
    if (bytes.size() < 2) return out;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto first = static_cast<unsigned char>(bytes[i]);
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        out += static_cast<char16_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
    }
    if (bytes.size() % 2) out += kReplacement;
    return out;
}

std::u16string decodeCp1252(std::string_view bytes) {
    // 0x80..0x9F; the five undefined bytes stay the C1 controls of their own number.
    static constexpr char16_t high[] = u"€\u0081‚ƒ„…†‡ˆ‰Š‹Œ\u008DŽ\u008F\u0090‘’“”•–—˜™š›œ\u009DžŸ";
    static_assert(sizeof high / sizeof high[0] == 33);
    std::u16string out;
    for (char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        out += b >= 0x80 && b < 0xA0 ? high[b - 0x80] : char16_t{b};
    }
    return out;
}

std::u16string trim(const std::u16string &s) {
    size_t a = 0, b = s.size();
    while (a < b && s[a] == u' ') ++a;
    while (b > a && s[b - 1] == u' ') --b;
    return s.substr(a, b - a);
}

// The units that upper-case to the letters of the marker.
char16_t upper(char16_t c) {
    switch (c) {
        case u'l':
            return u'L';
        case u'i':
        case u'\u0131':  // dotless i
            return u'I';
        case u's':
        case u'\u017F':  // long s
            return u'S';
        case u't':
            return u'T';
        default:
            return c;
    }
}

}  // namespace

std::u16string decodePlainly(std::string_view bytes) {
    bool valid = false;
    if (bytes.starts_with("\xEF\xBB\xBF")) return decodeUtf8(bytes.substr(3), &valid);
    if (bytes.starts_with("\xFF\xFE")) return decodeUtf16(bytes.substr(2), false);
    if (bytes.starts_with("\xFE\xFF")) return decodeUtf16(bytes.substr(2), true);
    std::u16string text = decodeUtf8(bytes, &valid);
    return valid ? text : decodeCp1252(bytes);
}

PlainReading readPlainly(std::string_view bytes) {
    PlainReading ref;
    ref.text = decodePlainly(bytes);
    const std::u16string &text = ref.text;
    std::vector<std::u16string> lines;
    if (!text.empty()) {
        // CR LF ends lines; in a text without any, LF does.
        const bool crlf = text.find(u"\r\n") != std::u16string::npos;
        std::u16string current;
        for (size_t i = 0; i < text.size(); ++i) {
            if (crlf && text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
                lines.push_back(current);
                current.clear();
                ++i;
            } else if (!crlf && text[i] == u'\n') {
                lines.push_back(current);
                current.clear();
            } else {
                current += text[i];
            }
        }
        lines.push_back(current);
    }
    if (lines.size() > 32767) return ref.fails = true, ref;
    for (auto &line : lines) line = trim(line);

    size_t start = lines.size();
    for (size_t i = 0; i < lines.size(); ++i) {
        std::u16string upperLine;
        for (char16_t c : lines[i]) upperLine += upper(c);
        const size_t at = upperLine.find(u"[LIST]");
        if (at == std::u16string::npos) continue;
        ref.markerLine = static_cast<int>(i);
        if (at + 1 > 32767) return ref.fails = true, ref;
        start = i + 1;
        break;
    }
    if (ref.markerLine < 0) return ref;
    for (size_t i = start; i < lines.size(); ++i) {
        const size_t eq = lines[i].find(u'=');
        if (eq == std::u16string::npos) continue;
        std::u16string label = lines[i].substr(0, eq);
        for (char16_t &c : label) c = c == u'\t' ? u' ' : c;
        ref.rows.push_back({trim(label), lines[i].substr(eq + 1), static_cast<int>(i)});
        if (ref.rows.size() == 88) return ref.fails = true, ref;  // the next row would not fit
    }
    if (ref.rows.size() == 87) return ref.fails = true, ref;  // nor would the window's height
    ref.height = 40 + 375 * static_cast<int>(ref.rows.size()) + 440;
    return ref;
}
