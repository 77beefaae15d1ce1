// Text: an owned, NUL-terminated ANSI string. The product builds without
// exceptions and without the C++ library's string, so this is the one text
// type shared by the setup program and its platform layer. An allocation
// failure leaves the text empty rather than throwing.
#pragma once

class Text {
public:
    Text();
    Text(const char* s);
    Text(const char* s, int length);
    Text(const Text& other);
    Text& operator=(const Text& other);
    Text& operator=(const char* s);
    ~Text();

    const char* c_str() const { return data_ ? data_ : ""; }
    int length() const { return length_; }
    bool empty() const { return length_ == 0; }
    // Last character, or 0 for an empty text.
    char last() const { return length_ ? data_[length_ - 1] : 0; }
    char operator[](int i) const { return (i >= 0 && i < length_) ? data_[i] : 0; }

    Text& operator+=(const Text& s) { return append(s.c_str(), s.length()); }
    Text& operator+=(const char* s);
    Text& operator+=(char c) { return append(&c, 1); }
    Text& append(const char* s, int n);

    bool operator==(const Text& s) const;
    bool operator==(const char* s) const;
    bool operator!=(const Text& s) const { return !(*this == s); }
    bool operator!=(const char* s) const { return !(*this == s); }

    bool endsWith(const char* suffix) const;
    // 0-based position of the first occurrence of needle, -1 when absent.
    int find(const char* needle) const;
    // Up to count characters from start (0-based); count < 0 means to the end.
    Text mid(int start, int count = -1) const;
    Text left(int count) const { return mid(0, count); }
    Text right(int count) const;

    void clear();

private:
    bool reserve(int capacity);
    char* data_;
    int length_;
    int capacity_;
};

Text operator+(const Text& a, const Text& b);
Text operator+(const Text& a, const char* b);
Text operator+(const char* a, const Text& b);
