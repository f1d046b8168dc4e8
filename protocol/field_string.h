// FieldString: the growable byte string both programs use to build and take
// apart protocol commands. Every operation treats the text as ending at its
// first NUL byte; every change allocates a buffer of exactly the needed size.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

namespace parlo {

class FieldString {
  public:
    FieldString();
    FieldString(const char* text);  // NOLINT(google-explicit-constructor): text-like value
    FieldString(const FieldString& other);
    FieldString(FieldString&& other) noexcept;
    FieldString& operator=(const FieldString& other);
    FieldString& operator=(FieldString&& other) noexcept;
    FieldString& operator=(const char* text);
    ~FieldString() = default;

    void Assign(const char* text);
    void Assign(const FieldString& other) { Assign(other.Data()); }

    int32_t Length() const { return length_; }
    int32_t Capacity() const { return capacity_; }
    bool IsEmpty() const { return length_ == 0; }
    void Clear();
    const char* Data() const { return text_.get(); }
    std::string_view View() const { return {text_.get(), static_cast<size_t>(length_)}; }
    char CharAt(int32_t i) const { return text_[static_cast<size_t>(i)]; }
    void SetAt(int32_t i, char byte);
    int ToInt() const;

    void Append(const char* text);
    void Append(const FieldString& other) { Append(other.Data()); }

    FieldString Left(int32_t n) const;
    FieldString Right(int32_t n) const;

    char* GetBuffer(int32_t n);
    void ReleaseBuffer(int32_t n = -1);

    bool RemoveAll(const char* pattern);
    int32_t Find(const char* pattern, int32_t start = 0) const;
    int32_t ReverseFind(char byte) const;
    bool ContainsNoCase(const char* pattern) const;
    bool EqualsNoCase(const char* text) const;

    // Puts field k (1-based) between `separator` bytes into `out`. k < 1 or an
    // empty value leaves `out` unchanged; a field beyond the last is empty.
    void GetField(int k, char separator, FieldString& out) const;

    friend FieldString operator+(const FieldString& a, const FieldString& b);
    friend FieldString operator+(const FieldString& a, const char* b);
    friend FieldString operator+(const char* a, const FieldString& b);
    friend FieldString operator+(const FieldString& a, char b);
    friend FieldString operator+(const FieldString& a, int32_t b);
    friend FieldString operator+(const FieldString& a, float b);

  private:
    static FieldString Join(const char* a, size_t a_len, const char* b, size_t b_len);
    void Adopt(std::unique_ptr<char[]> buffer, int32_t capacity, int32_t length);

    std::unique_ptr<char[]> text_;
    int32_t capacity_ = 0;
    int32_t length_ = 0;
};

// View-based tokeniser with the same rules as FieldString::GetField: the text
// ends at its first NUL; field k lies between the (k-1)-th and k-th separator.
// Returns an empty view for k < 1 or a field beyond the last.
std::string_view FieldView(std::string_view text, int k, char separator);

}  // namespace parlo
