// The server's frames and the boxes they open: a box holds the rest of its
// frame's read until it is answered, and reading waits while too much is
// held.
#include <QtGlobal>

#include "client/core/session.h"

namespace parlo::client {

// ---- Boxes ------------------------------------------------------------------------

void Session::ShowBox(std::string_view text, std::string_view caption, BoxIcon icon,
                      BoxButtons buttons, BoxContinuation answered) {
    const BoxId id = next_box_id_++;
    open_boxes_.insert(id);
    box_of_frame_ = id;
    UpdateReading();
    ui_.ShowMessageBox({text, caption, icon, buttons},
                       [this, id, answered = std::move(answered)](BoxAnswer answer) {
                           BoxAnswered(id, answer, answered);
                       });
}

void Session::BoxAnswered(BoxId id, BoxAnswer answer, const BoxContinuation& answered) {
    if (open_boxes_.erase(id) == 0 || own_state_ == kStateExit) {
        return;
    }
    if (answered) {
        answered(answer);
    }
    const auto held = held_.find(id);
    if (held != held_.end()) {
        HeldFrames frames = std::move(held->second);
        held_.erase(held);
        held_bytes_ -= frames.bytes;
        if (frames.link_generation == link_generation_) {
            RunFrames(std::move(frames.payloads));
        }
    }
    UpdateReading();
}

void Session::UpdateReading() {
    const bool pause = open_boxes_.size() >= kMaxOpenBoxes || held_bytes_ > kMaxHeldBytes;
    if (!link_ || pause == reading_paused_) {
        return;
    }
    reading_paused_ = pause;
    if (pause) {
        qWarning("%zu boxes open, %zu bytes held behind them: reading waits for answers",
                 open_boxes_.size(), held_bytes_);
    }
    link_->PauseReading(pause);
}

// ---- Frames -----------------------------------------------------------------------

void Session::OnLinkData(std::string_view bytes) {
    reader_.Feed(bytes);
    std::deque<std::string> payloads;
    std::string_view payload;
    FrameReader::Status status;
    while ((status = reader_.Next(payload)) == FrameReader::Status::kFrame) {
        payloads.emplace_back(payload);
    }
    if (status == FrameReader::Status::kError) {
        // Bytes that cannot be frames: drop them with the connection.
        Disconnect();
        return;
    }
    RunFrames(std::move(payloads));
}

void Session::OnLinkClosed() {
    if (!logged_in_ && !reconnection_.Pending()) {
        Disconnect();  // never logged in, or the login was refused
        return;
    }
    if (logged_in_) {
        // Back with the presence the user had chosen.
        wanted_state_ = own_state_ == kStateAway ? kStateAway : kStateOnline;
        reconnection_.ConnectionLost();
    }
    DropLink();
    connection_problem_.clear();
    ShowContactsOffline();
    ReconnectLater();
}

void Session::RunFrames(std::deque<std::string> payloads) {
    // A handler may end the connection or start another: the rest of the
    // read belonged to the old one.
    const std::uint64_t generation = link_generation_;
    while (!payloads.empty() && link_ && generation == link_generation_) {
        const std::string payload = std::move(payloads.front());
        payloads.pop_front();
        std::string text;
        if (!Uncompress(payload, text)) {
            continue;  // a damaged payload matches no command
        }
        box_of_frame_ = 0;
        HandleCommand(text);
        const BoxId box = std::exchange(box_of_frame_, 0);
        if (box != 0 && open_boxes_.contains(box) && !payloads.empty() && link_ &&
            generation == link_generation_) {
            HeldFrames& held = held_[box];
            held.link_generation = generation;
            for (const std::string& rest : payloads) {
                held.bytes += rest.size();
            }
            held_bytes_ += held.bytes;
            held.payloads = std::move(payloads);
            UpdateReading();
            return;
        }
    }
}

}  // namespace parlo::client
