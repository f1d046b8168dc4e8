// Runs every command parser on arbitrary text and checks that whatever a
// parser returns lies inside the text it was given.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "protocol/ascii.h"
#include "protocol/commands.h"
#include "protocol/field_string.h"

namespace {

std::string_view g_text;

void Inside(std::string_view part) {
    if (part.empty()) {
        return;
    }
    if (part.data() < g_text.data() || part.data() + part.size() > g_text.data() + g_text.size()) {
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    g_text = text;
    parlo::RecognizeServerCommand(text);
    parlo::RecognizeClientCommand(text);
    if (const auto v = parlo::ParseConnect(text)) {
        Inside(v->computer);
        Inside(v->credentials);
    }
    if (const auto v = parlo::ParseRecordText(text)) {
        Inside(v->credentials);
        Inside(v->email);
    }
    if (const auto v = parlo::ParseMessage(text)) {
        for (auto p : v->participants) {
            Inside(p);
        }
        Inside(v->text);
    }
    if (const auto v = parlo::ParseFindUser(text)) {
        Inside(v->login);
        Inside(v->first_name);
        Inside(v->last_name);
        Inside(v->email);
    }
    for (const auto& e : parlo::ParseAccountEntries(text)) {
        Inside(e.login);
        Inside(e.email);
    }
    for (const auto& e : parlo::ParseStateEntries(text)) {
        Inside(e.login);
    }
    const auto writing = parlo::ParseWriting(text);
    Inside(writing.list);
    Inside(parlo::GetStateLogin(text));
    const std::string copy(text);
    parlo::FieldString value(copy.c_str());
    parlo::FieldString out;
    value.GetField(static_cast<int>(size % 7), ':', out);
    value.RemoveAll("a:");
    value.ContainsNoCase("MESSAGE");
    return 0;
}
