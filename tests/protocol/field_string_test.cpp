#include "protocol/field_string.h"
#include "protocol/ascii.h"

#include <cstring>

#include <gtest/gtest.h>

namespace parlo {
namespace {

std::string Field(const char* text, int k, char sep) {
    FieldString value(text);
    FieldString out("unchanged");
    value.GetField(k, sep, out);
    return out.Data();
}

TEST(FieldStringGetField, SplitsOnSeparators) {
    EXPECT_EQ(Field("Login:OK", 1, ':'), "Login");
    EXPECT_EQ(Field("Login:OK", 2, ':'), "OK");
    EXPECT_EQ(Field("Login:OK", 3, ':'), "");
    EXPECT_EQ(Field("a::b", 2, ':'), "");
    EXPECT_EQ(Field("a::b", 3, ':'), "b");
    EXPECT_EQ(Field(":x", 1, ':'), "");
    EXPECT_EQ(Field("SetState!bob:0!", 2, '!'), "bob:0");
    EXPECT_EQ(Field("SetState!bob:0!", 3, '!'), "");
}

TEST(FieldStringGetField, LeavesOutputUnchangedForFieldZeroOrEmptyValue) {
    EXPECT_EQ(Field("a:b", 0, ':'), "unchanged");
    EXPECT_EQ(Field("a:b", -3, ':'), "unchanged");
    EXPECT_EQ(Field("", 1, ':'), "unchanged");
}

TEST(FieldStringGetField, ViewStopsAtNul) {
    const std::string text("a:b\0:c", 6);
    EXPECT_EQ(FieldView(text, 2, ':'), "b");
    EXPECT_EQ(FieldView(text, 3, ':'), "");
}

TEST(FieldStringInvariants, DefaultAndAssign) {
    FieldString s;
    EXPECT_EQ(s.Capacity(), 1);
    EXPECT_EQ(s.Length(), 0);
    EXPECT_STREQ(s.Data(), "");
    s.Assign("hello");
    EXPECT_EQ(s.Length(), 5);
    EXPECT_EQ(s.Capacity(), 6);
    s.Assign("");
    EXPECT_TRUE(s.IsEmpty());
    EXPECT_EQ(s.Capacity(), 6) << "emptying keeps the old capacity";
    s.Assign(nullptr);
    EXPECT_EQ(s.Capacity(), 6);
}

TEST(FieldStringInvariants, CopiesAreDeepAndMovesLeaveValidEmpty) {
    FieldString a("abc");
    FieldString b(a);
    b.SetAt(0, 'x');
    EXPECT_STREQ(a.Data(), "abc");
    EXPECT_STREQ(b.Data(), "xbc");
    FieldString c(std::move(a));
    EXPECT_STREQ(c.Data(), "abc");
    EXPECT_STREQ(a.Data(), "");  // NOLINT(bugprone-use-after-move): moved-from stays usable
    a.Append("ok");
    EXPECT_STREQ(a.Data(), "ok");
}

TEST(FieldStringEditing, SetAtKeepsLength) {
    FieldString s("abc");
    s.SetAt(3, 'x');
    EXPECT_STREQ(s.Data(), "abc");
    s.SetAt(0, '\0');
    EXPECT_EQ(s.Length(), 3);
    EXPECT_STREQ(s.Data(), "");
}

TEST(FieldStringEditing, AppendLeftRightAndOperators) {
    FieldString s("ab");
    s.Append("cd");
    EXPECT_STREQ(s.Data(), "abcd");
    EXPECT_EQ(s.Capacity(), 5);
    EXPECT_STREQ(FieldString("abc").Left(10).Data(), "abc");
    EXPECT_STREQ(FieldString("abc").Right(2).Data(), "bc");
    EXPECT_STREQ(FieldString("abc").Left(0).Data(), "");
    EXPECT_STREQ((FieldString("a") + FieldString("b")).Data(), "ab");
    EXPECT_STREQ(("x" + FieldString("y")).Data(), "xy");
    EXPECT_STREQ((FieldString("n") + 'c').Data(), "nc");
    EXPECT_STREQ((FieldString("n") + int32_t{-12}).Data(), "n-12");
    EXPECT_STREQ((FieldString("f") + 1.5f).Data(), "f1.500000");
}

TEST(FieldStringEditing, GetBufferAndReleaseBuffer) {
    FieldString s("ab");
    char* p = s.GetBuffer(2);
    EXPECT_EQ(p, s.Data()) << "enough capacity: same buffer";
    p = s.GetBuffer(16);
    EXPECT_EQ(s.Capacity(), 16);
    std::strcpy(p, "hello");
    s.ReleaseBuffer();
    EXPECT_EQ(s.Length(), 5);
    EXPECT_EQ(s.Capacity(), 6);
    s.GetBuffer(16);
    s.ReleaseBuffer(2);
    EXPECT_STREQ(s.Data(), "he");
    EXPECT_EQ(s.Capacity(), 3);
}

TEST(FieldStringSearch, RemoveAllRescansFromStart) {
    FieldString s("aabb");
    EXPECT_TRUE(s.RemoveAll("ab"));
    EXPECT_TRUE(s.IsEmpty());
    FieldString t("abc");
    EXPECT_FALSE(t.RemoveAll("x"));
    EXPECT_FALSE(t.RemoveAll(""));
    EXPECT_FALSE(FieldString().RemoveAll("a"));
}

TEST(FieldStringSearch, FindAndReverseFind) {
    FieldString s("abc");
    EXPECT_EQ(s.Find("b", 4), -1);
    EXPECT_EQ(s.Find("", 1), 1);
    EXPECT_EQ(s.Find("c"), 2);
    EXPECT_EQ(s.Find(nullptr), -1);
    EXPECT_EQ(s.Find("a", 1), -1);
    EXPECT_EQ(FieldString("a!b!").ReverseFind('!'), 3);
    EXPECT_EQ(s.ReverseFind('z'), -1);
}

TEST(FieldStringSearch, CaseInsensitiveTestsFoldAsciiOnly) {
    EXPECT_TRUE(FieldString().ContainsNoCase(""));
    EXPECT_FALSE(FieldString("abc").ContainsNoCase(""));
    EXPECT_TRUE(FieldString("abc").ContainsNoCase("BC"));
    EXPECT_FALSE(FieldString("abc").ContainsNoCase("abcd"));
    EXPECT_TRUE(FieldString("abc").EqualsNoCase("ABC"));
    EXPECT_FALSE(FieldString("abc").EqualsNoCase("abcd"));
    EXPECT_FALSE(FieldString("abc").EqualsNoCase(nullptr));
    // Bytes of multibyte UTF-8 letters are not folded.
    EXPECT_FALSE(EqualsNoCase("\xc3\xa9", "\xc3\x89"));
}

TEST(FieldStringSearch, LoginOrderFoldsAsciiAndComparesBytesUnsigned) {
    EXPECT_TRUE(LessNoCase("alice", "Bob"));
    EXPECT_TRUE(LessNoCase("ALICE", "bob"));
    EXPECT_FALSE(LessNoCase("Bob", "bob"));
    EXPECT_FALSE(LessNoCase("bob", "Bob"));
    EXPECT_TRUE(LessNoCase("bo", "Bob"));  // a prefix comes first
    // '_' lies between the upper- and lower-case letters: folding to upper
    // case puts it after every letter.
    EXPECT_TRUE(LessNoCase("zed", "_x"));
    // Bytes above 0x7f come after ASCII, not before it.
    EXPECT_TRUE(LessNoCase("z", "\xc3\xa9"));
}

TEST(FieldStringConversion, ToIntFollowsAtoi) {
    EXPECT_EQ(FieldString("12abc").ToInt(), 12);
    EXPECT_EQ(FieldString("abc").ToInt(), 0);
    EXPECT_EQ(FieldString("  -7").ToInt(), -7);
}

}  // namespace
}  // namespace parlo
