// wsprintfW: the platform's own small formatter.
//
// Implements: %d %i %u %x %X %c %s %% with the l and h size prefixes, flags '-' and '0', a width and a
// precision for strings. Integers are 32-bit (LONG is 32 bits on the platform whatever the host's
// long is) and %s takes a wide string. Output stops at 1024 characters, as on the platform.
// Leaves out: floating point (the platform's wsprintf has none), %S, %p.
#include <cstdarg>
#include <cstdint>

#include <windows.h>

#include "capacities.h"

namespace {

using core::kMaxFormattedChars;

struct Out {
    LPWSTR buffer;
    int length = 0;
    void Put(WCHAR c) {
        if (length < kMaxFormattedChars - 1) buffer[length++] = c;
    }
};

void PutPadded(Out &out, const WCHAR *digits, int count, int width, bool left, WCHAR pad, bool negative) {
    int total = count + (negative ? 1 : 0);
    if (!left && pad == u'0' && negative) out.Put(u'-');
    if (!left)
        for (int i = total; i < width; ++i) out.Put(pad);
    if (negative && !(pad == u'0' && !left)) out.Put(u'-');
    for (int i = 0; i < count; ++i) out.Put(digits[i]);
    if (left)
        for (int i = total; i < width; ++i) out.Put(u' ');
}

}  // namespace

int wsprintfW(LPWSTR buffer, LPCWSTR format, ...) {
    if (!buffer) return 0;
    if (!format) {
        buffer[0] = 0;
        return 0;
    }
    Out out{buffer};
    va_list args;
    va_start(args, format);
    for (const WCHAR *p = format; *p; ++p) {
        if (*p != u'%') {
            out.Put(*p);
            continue;
        }
        ++p;
        bool left = false;
        WCHAR pad = u' ';
        for (; *p == u'-' || *p == u'0'; ++p) {
            if (*p == u'-')
                left = true;
            else
                pad = u'0';
        }
        int width = 0;
        for (; *p >= u'0' && *p <= u'9'; ++p) width = width * 10 + (*p - u'0');
        int precision = -1;
        if (*p == u'.') {
            precision = 0;
            for (++p; *p >= u'0' && *p <= u'9'; ++p) precision = precision * 10 + (*p - u'0');
        }
        bool shortArg = false;
        if (*p == u'l')
            ++p;
        else if (*p == u'h') {
            shortArg = true;
            ++p;
        }
        WCHAR digits[16];
        int count = 0;
        switch (*p) {
        case u'd':
        case u'i': {
            std::int32_t v = va_arg(args, std::int32_t);
            if (shortArg) v = std::int16_t(v);
            std::uint32_t magnitude = v < 0 ? std::uint32_t(0) - std::uint32_t(v) : std::uint32_t(v);
            do {
                digits[15 - count++] = WCHAR(u'0' + magnitude % 10);
                magnitude /= 10;
            } while (magnitude);
            PutPadded(out, digits + 16 - count, count, width, left, left ? u' ' : pad, v < 0);
            break;
        }
        case u'u':
        case u'x':
        case u'X': {
            std::uint32_t v = va_arg(args, std::uint32_t);
            if (shortArg) v = std::uint16_t(v);
            unsigned base = *p == u'u' ? 10 : 16;
            const char *set = *p == u'X' ? "0123456789ABCDEF" : "0123456789abcdef";
            do {
                digits[15 - count++] = WCHAR(set[v % base]);
                v /= base;
            } while (v);
            PutPadded(out, digits + 16 - count, count, width, left, left ? u' ' : pad, false);
            break;
        }
        case u'c': {
            WCHAR c = WCHAR(va_arg(args, int));
            PutPadded(out, &c, 1, width, left, u' ', false);
            break;
        }
        case u's': {
            const WCHAR *s = va_arg(args, const WCHAR *);
            if (!s) s = u"(null)";
            int n = 0;
            while (s[n] && (precision < 0 || n < precision) && n < kMaxFormattedChars) ++n;
            PutPadded(out, s, n, width, left, u' ', false);
            break;
        }
        case u'%': out.Put(u'%'); break;
        case 0:
            --p;  // a lone % at the end
            break;
        default: out.Put(*p); break;
        }
    }
    va_end(args);
    buffer[out.length] = 0;
    return out.length;
}
