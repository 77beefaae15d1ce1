#include "Text.h"

#include <stdlib.h>
#include <string.h>

Text::Text() : data_(nullptr), length_(0), capacity_(0) {}

Text::Text(const char* s) : Text() {
    if (s) append(s, (int)strlen(s));
}

Text::Text(const char* s, int length) : Text() {
    if (s && length > 0) append(s, length);
}

Text::Text(const Text& other) : Text() { append(other.c_str(), other.length()); }

Text& Text::operator=(const Text& other) {
    if (this != &other) {
        length_ = 0;
        if (data_) data_[0] = 0;
        append(other.c_str(), other.length());
    }
    return *this;
}

Text& Text::operator=(const char* s) {
    Text copy(s);  // s may point into this text
    return *this = copy;
}

Text::~Text() { free(data_); }

void Text::clear() {
    length_ = 0;
    if (data_) data_[0] = 0;
}

bool Text::reserve(int capacity) {
    if (capacity <= capacity_) return true;
    int grown = capacity_ * 2 > capacity ? capacity_ * 2 : capacity;
    char* p = (char*)realloc(data_, (size_t)grown + 1);
    if (!p) return false;
    data_ = p;
    capacity_ = grown;
    return true;
}

Text& Text::append(const char* s, int n) {
    if (!s || n <= 0) return *this;
    if (data_ && s >= data_ && s < data_ + length_) {  // appending a part of itself
        Text copy(s, n);
        return append(copy.data_, copy.length_);
    }
    if (!reserve(length_ + n)) return *this;
    memcpy(data_ + length_, s, (size_t)n);
    length_ += n;
    data_[length_] = 0;
    return *this;
}

Text& Text::operator+=(const char* s) {
    if (s) append(s, (int)strlen(s));
    return *this;
}

bool Text::operator==(const Text& s) const {
    return length_ == s.length_ && memcmp(c_str(), s.c_str(), (size_t)length_) == 0;
}

bool Text::operator==(const char* s) const { return strcmp(c_str(), s ? s : "") == 0; }

bool Text::endsWith(const char* suffix) const {
    int n = (int)strlen(suffix);
    return n <= length_ && memcmp(c_str() + length_ - n, suffix, (size_t)n) == 0;
}

int Text::find(const char* needle) const {
    const char* hit = strstr(c_str(), needle);
    return hit ? (int)(hit - c_str()) : -1;
}

Text Text::mid(int start, int count) const {
    if (start < 0) start = 0;
    if (start >= length_) return Text();
    int available = length_ - start;
    if (count < 0 || count > available) count = available;
    return Text(c_str() + start, count);
}

Text Text::right(int count) const {
    if (count <= 0) return Text();
    if (count >= length_) return *this;
    return mid(length_ - count);
}

Text operator+(const Text& a, const Text& b) {
    Text r(a);
    r += b;
    return r;
}

Text operator+(const Text& a, const char* b) {
    Text r(a);
    r += b;
    return r;
}

Text operator+(const char* a, const Text& b) {
    Text r(a);
    r += b;
    return r;
}
