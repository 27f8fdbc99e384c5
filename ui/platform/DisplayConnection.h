#pragma once

namespace quillon {

// The display sends its repaints to the X server as plain requests, 40 a second,
// several kilobytes each. With the socket's default send buffer the UI thread often
// had to sleep until the server read the last one, and be woken again; a wider
// buffer lets a repaint go out in one go. Does nothing away from X. Returns the
// send buffer's size afterwards, 0 when there is no X connection.
int WidenDisplaySendBuffer();

}  // namespace quillon
