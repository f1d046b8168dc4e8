#include "protocol/field_string.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "protocol/ascii.h"

namespace parlo {

namespace {

std::unique_ptr<char[]> NewBuffer(size_t size) {
    return std::make_unique_for_overwrite<char[]>(size);
}

}  // namespace

FieldString::FieldString() : text_(NewBuffer(1)), capacity_(1), length_(0) {
    text_[0] = '\0';
}

FieldString::FieldString(const char* text) : FieldString() {
    Assign(text);
}

FieldString::FieldString(const FieldString& other) : FieldString() {
    Assign(other.Data());
}

FieldString::FieldString(FieldString&& other) noexcept
    : text_(std::move(other.text_)), capacity_(other.capacity_), length_(other.length_) {
    // A moved-from value stays a valid empty string: its buffer is never null.
    other.text_ = std::make_unique<char[]>(1);
    other.capacity_ = 1;
    other.length_ = 0;
}

FieldString& FieldString::operator=(const FieldString& other) {
    if (this != &other) {
        Assign(other.Data());
    }
    return *this;
}

FieldString& FieldString::operator=(FieldString&& other) noexcept {
    if (this != &other) {
        text_.swap(other.text_);
        std::swap(capacity_, other.capacity_);
        std::swap(length_, other.length_);
    }
    return *this;
}

FieldString& FieldString::operator=(const char* text) {
    Assign(text);
    return *this;
}

void FieldString::Adopt(std::unique_ptr<char[]> buffer, int32_t capacity, int32_t length) {
    text_ = std::move(buffer);
    capacity_ = capacity;
    length_ = length;
}

void FieldString::Assign(const char* text) {
    if (text == nullptr || text[0] == '\0') {
        Clear();
        return;
    }
    const size_t len = std::strlen(text);
    auto buffer = NewBuffer(len + 1);
    std::memcpy(buffer.get(), text, len + 1);
    Adopt(std::move(buffer), static_cast<int32_t>(len + 1), static_cast<int32_t>(len));
}

void FieldString::Clear() {
    length_ = 0;
    text_[0] = '\0';
}

void FieldString::SetAt(int32_t i, char byte) {
    if (i >= 0 && i < length_) {
        text_[static_cast<size_t>(i)] = byte;
    }
}

int FieldString::ToInt() const {
    return std::atoi(text_.get());
}

void FieldString::Append(const char* text) {
    if (text == nullptr) {
        return;
    }
    const size_t add = std::strlen(text);
    const size_t old = static_cast<size_t>(length_);
    auto buffer = NewBuffer(old + add + 1);
    std::memcpy(buffer.get(), text_.get(), old);
    std::memcpy(buffer.get() + old, text, add + 1);
    Adopt(std::move(buffer), static_cast<int32_t>(old + add + 1), static_cast<int32_t>(old + add));
}

FieldString FieldString::Join(const char* a, size_t a_len, const char* b, size_t b_len) {
    FieldString result;
    auto buffer = NewBuffer(a_len + b_len + 1);
    std::memcpy(buffer.get(), a, a_len);
    std::memcpy(buffer.get() + a_len, b, b_len);
    buffer[a_len + b_len] = '\0';
    result.Adopt(std::move(buffer), static_cast<int32_t>(a_len + b_len + 1),
                 static_cast<int32_t>(a_len + b_len));
    return result;
}

FieldString operator+(const FieldString& a, const FieldString& b) {
    return FieldString::Join(a.Data(), static_cast<size_t>(a.Length()), b.Data(),
                             static_cast<size_t>(b.Length()));
}

FieldString operator+(const FieldString& a, const char* b) {
    const char* text = b != nullptr ? b : "";
    return FieldString::Join(a.Data(), static_cast<size_t>(a.Length()), text, std::strlen(text));
}

FieldString operator+(const char* a, const FieldString& b) {
    const char* text = a != nullptr ? a : "";
    return FieldString::Join(text, std::strlen(text), b.Data(), static_cast<size_t>(b.Length()));
}

FieldString operator+(const FieldString& a, char b) {
    const char text[2] = {b, '\0'};
    return a + text;
}

FieldString operator+(const FieldString& a, int32_t b) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", b);
    return a + text;
}

FieldString operator+(const FieldString& a, float b) {
    char text[64];
    std::snprintf(text, sizeof text, "%f", static_cast<double>(b));
    return a + text;
}

FieldString FieldString::Left(int32_t n) const {
    const int32_t count = n < 0 ? 0 : (n < length_ ? n : length_);
    return Join(text_.get(), static_cast<size_t>(count), "", 0);
}

FieldString FieldString::Right(int32_t n) const {
    const int32_t count = n < 0 ? 0 : (n < length_ ? n : length_);
    return Join(text_.get() + (length_ - count), static_cast<size_t>(count), "", 0);
}

char* FieldString::GetBuffer(int32_t n) {
    if (n <= capacity_) {
        return text_.get();
    }
    auto buffer = NewBuffer(static_cast<size_t>(n));
    std::memcpy(buffer.get(), text_.get(), static_cast<size_t>(length_) + 1);
    text_ = std::move(buffer);
    capacity_ = n;
    return text_.get();
}

void FieldString::ReleaseBuffer(int32_t n) {
    if (n < 0) {
        n = static_cast<int32_t>(strnlen(text_.get(), static_cast<size_t>(capacity_)));
    }
    auto buffer = NewBuffer(static_cast<size_t>(n) + 1);
    // Copy at most n bytes, stopping at a NUL, and never past the old buffer.
    const size_t limit = std::min(static_cast<size_t>(n), static_cast<size_t>(capacity_));
    const size_t copied = strnlen(text_.get(), limit);
    std::memcpy(buffer.get(), text_.get(), copied);
    std::memset(buffer.get() + copied, 0, static_cast<size_t>(n) + 1 - copied);
    Adopt(std::move(buffer), n + 1, n);
}

bool FieldString::RemoveAll(const char* pattern) {
    if (pattern == nullptr || pattern[0] == '\0' || IsEmpty()) {
        return false;
    }
    const int32_t start_length = length_;
    const size_t plen = std::strlen(pattern);
    std::string text(Data());
    for (size_t at = text.find(pattern); at != std::string::npos; at = text.find(pattern)) {
        text.erase(at, plen);
    }
    Assign(text.c_str());
    return length_ < start_length;
}

int32_t FieldString::Find(const char* pattern, int32_t start) const {
    if (pattern == nullptr || start < 0 || start > length_) {
        return -1;
    }
    const char* hit = std::strstr(text_.get() + start, pattern);
    return hit == nullptr ? -1 : static_cast<int32_t>(hit - text_.get());
}

int32_t FieldString::ReverseFind(char byte) const {
    const char* hit = std::strrchr(text_.get(), byte);
    return (hit == nullptr || byte == '\0') ? -1 : static_cast<int32_t>(hit - text_.get());
}

bool FieldString::ContainsNoCase(const char* pattern) const {
    if (text_ == nullptr) {
        return false;
    }
    const bool self_empty = text_[0] == '\0';
    const bool pattern_empty = pattern == nullptr || pattern[0] == '\0';
    if (self_empty && pattern_empty) {
        return true;
    }
    if (pattern_empty) {
        return false;
    }
    return parlo::ContainsNoCase(Data(), pattern);
}

bool FieldString::EqualsNoCase(const char* text) const {
    if (text == nullptr || text_ == nullptr) {
        return false;
    }
    return parlo::EqualsNoCase(Data(), text);
}

void FieldString::GetField(int k, char separator, FieldString& out) const {
    if (k < 1 || IsEmpty()) {
        return;
    }
    const std::string field(FieldView(Data(), k, separator));
    out.Assign(field.c_str());
}

std::string_view FieldView(std::string_view text, int k, char separator) {
    if (k < 1) {
        return {};
    }
    const size_t nul = text.find('\0');
    if (nul != std::string_view::npos) {
        text = text.substr(0, nul);
    }
    size_t pos = 0;
    for (int skipped = 0; skipped < k - 1; ++skipped) {
        const size_t sep = text.find(separator, pos);
        if (sep == std::string_view::npos) {
            return {};
        }
        pos = sep + 1;
    }
    const size_t end = text.find(separator, pos);
    return text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
}

}  // namespace parlo
