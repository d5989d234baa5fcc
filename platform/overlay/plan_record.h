// What a planned run would have changed on the machine, in the order it would have
// changed it. The overlay services record each write here instead of making it.
#pragma once

#include "core/text.h"
#include "platform/ui.h"

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace pelto::platform::overlay {

struct PlanEvent {
    enum class Kind {
        RegistryWrite,  // subject: key; name: value name; before / after: its data as text
        FolderMade,     // subject: folder; after: who may reach it
        Moved,          // subject: from; after: to
        FileDeleted,    // subject: file; size
        FolderRemoved,  // subject: folder
        LinkRemoved,    // subject: the link
        FileKept,       // subject: the new private file; size
        FileReplaced,   // subject: file; size; replaced: whether one was there
        Copied,         // subject: source; after: destination file; size; replaced
        Started,        // subject: program
        NotStarted,     // subject: program; after: why it cannot be started
        SettingWritten, // subject: file; name: "[section] key"; before / after
        Message,        // subject: its text; icon
        WarningShown,   // subject: the window's caption
    };
    PlanEvent(Kind kind, Text subject) : kind(kind), subject(std::move(subject)) {}

    Kind kind;
    Text subject;
    Text name;
    std::optional<Text> before; // nullopt: there was none
    Text after;
    uint64_t size = 0;
    bool replaced = false;
    MessageIcon icon = MessageIcon::None;
};

class PlanRecord {
public:
    // Adds an event and gives it back for its details.
    PlanEvent& add(PlanEvent::Kind kind, Text subject) {
        return events_.emplace_back(kind, std::move(subject));
    }
    const std::vector<PlanEvent>& events() const { return events_; }

private:
    std::vector<PlanEvent> events_;
};

} // namespace pelto::platform::overlay
