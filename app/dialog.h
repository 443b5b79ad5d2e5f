#pragma once
// The dialog procedure: every message of the program's one window goes through here.
#include <cstdint>

#include "app/app.h"

namespace quorel {

enum class MessageKind { Initialise, Paint, Size, Timer, PenDown, PenUp, KeyDown, Command, Close };

struct Message {
    MessageKind kind = MessageKind::Paint;
    int x = 0;  // pen position in client pixels, as the window shows them
    int y = 0;
    int code = 0;  // key code, or the command identifier (1 is OK)
};

inline constexpr int kOkCommand = 1;
inline constexpr int kWakeKey = 223;

// True for the messages the program handles.
bool dialogProcedure(App& app, const Message& message);

// How every front end hands a message to the program: a tap or a key first ends the
// user-idle state of the display, as the handheld's power manager did on any input
// before the dialog saw it; then the dialog procedure.
bool deliverMessage(App& app, const Message& message);

// A pen coordinate as the pen messages carry it: an unsigned 16-bit value. A pen released
// left of or above the window (a negative position to the window system) so lands far to
// the right or below, and never in the close corner.
inline int penCoordinate(int v) { return static_cast<std::uint16_t>(v); }

// The running tick and the loading tick share the timer message.
void timerTick(App& app);

// Stops the timer, ends the dialog and releases the drawing surfaces.
void shutDown(App& app);

}  // namespace quorel
