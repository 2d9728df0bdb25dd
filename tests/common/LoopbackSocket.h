// The system's own sockets on 127.0.0.1, as the test helpers use them (the
// scripted server, the socket peers, the port checks): plain blocking calls, not
// the product's socket layer, so that the layer under test talks to a real peer.
// A socket is an int (Windows' small socket handles fit one); -1 is none.
#pragma once

#include <cstddef>

namespace testutil::loopback {

// A socket bound to 127.0.0.1:port (0: an ephemeral port), listening when it is a
// stream socket and backlog > 0. Throws std::runtime_error naming the call that
// failed ("socket", "bind", "listen"). On Windows every socket opened, accepted
// or connected here holds a start-up of Windows Sockets until Close gives it
// back, so the service runs for the product's users alone once the helpers'
// sockets are gone.
int Bound(bool stream, int backlog = 0);
int BoundPort(int s);
// -1 when nothing could be accepted.
int Accept(int s);
// A stream socket connected to 127.0.0.1:port; -1 when refused.
int Connect(int port);
// Waits at most ms for s to become readable.
bool Readable(int s, int ms);
// One send or receive; <= 0 on failure or (receive) end of stream.
long Send(int s, const char* data, std::size_t size);
long Receive(int s, char* buf, std::size_t size);
void Close(int s);
// Closes with a reset instead of an orderly close.
void CloseWithReset(int s);
void ShutdownSend(int s);
// Wakes a thread waiting on a listener before it is closed.
void Wake(int s);
void SetNoDelay(int s);
void SetReceiveBuffer(int s, int bytes);

}  // namespace testutil::loopback
