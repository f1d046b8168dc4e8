// The user's address book as the main window shows it: contact entries kept in
// login order, their presence, and the texts derived from them.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace parlo::client {

// The presence picture an entry shows; a state without a picture of its own
// keeps the picture it had.
enum class PresencePicture {
    kOnline,   // state 0
    kOffline,  // state 1, and every new entry
    kAway,     // states 2 and 3
};

// The two groups of the list: connected (states 0, 2, 3) and not connected
// (state 1). Any other state belongs to neither.
enum class ContactGroup { kOnline, kOffline };

std::optional<PresencePicture> PictureOfState(int state);
std::optional<ContactGroup> GroupOfState(int state);

struct Contact {
    std::string login;
    std::string first_name;
    std::string last_name;
    std::string email;
    int state = 1;
    PresencePicture picture = PresencePicture::kOffline;
};

class ContactList {
  public:
    const std::vector<Contact>& Entries() const { return entries_; }
    size_t Count() const { return entries_.size(); }
    bool IsEmpty() const { return entries_.empty(); }

    // Replaces the whole list with the entries of an "AddressBook:" answer.
    void Rebuild(std::string_view address_book_command);
    // Applies the "login:code" entries of a "SetState!" broadcast; logins that
    // match no entry are skipped. Returns how many entries changed state.
    int ApplyStates(std::string_view set_state_command);
    // Inserts in login order (ASCII case folded); an equal login goes after
    // the entries already there.
    void Insert(Contact contact);
    // Sets one entry's state; false when it already had that state.
    bool SetContactState(size_t index, int state);
    // Every entry goes to state 1 (the connection ended).
    void SetAllOffline();

    // First entry whose login equals `login`, letter case aside.
    const Contact* Find(std::string_view login) const;
    // The entries of one group, in list order.
    std::vector<const Contact*> GroupMembers(ContactGroup group) const;

  private:
    std::vector<Contact> entries_;
};

// The contact menu offers an instant message to a connected contact only; an
// offline one gets an e-mail instead.
bool CanMessage(const Contact& contact);

// The status line for a hovered contact (empty when none or no details).
std::string StatusText(const Contact* contact);

// How a conversation caption names a contact's state.
std::string_view ConversationStateText(int state);
// What a screen reader says for a contact's row: "bruno, en ligne".
std::string ContactRowName(const Contact& contact);

}  // namespace parlo::client
