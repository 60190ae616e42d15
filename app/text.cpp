// Wide-string helpers for the program's fixed buffers.
#include "app/cadenzo.h"

bool TextEquals(const WCHAR *a, const WCHAR *b) {
    if (!a || !b) return a == b;
    while (*a && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

// Copies at most capacity - 1 characters and always terminates.
void TextCopy(WCHAR *destination, int capacity, const WCHAR *source) {
    if (capacity <= 0) return;
    int i = 0;
    for (; source && source[i] && i < capacity - 1; ++i) destination[i] = source[i];
    destination[i] = 0;
}

int TextLength(const WCHAR *text) {
    int n = 0;
    while (text && text[n]) ++n;
    return n;
}
