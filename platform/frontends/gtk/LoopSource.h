// One GLib source for the whole message loop: GLib waits on the loop's
// descriptor with the loop's time-out, and runs the loop's ready work in its
// dispatch. The loop's own waits (PumpUntil, RunMessageLoop, ...) then turn the
// GLib main context, so GTK keeps drawing and answering while a handler waits.
#pragma once

#include <glib.h>

#include "platform/FrontEnd.h"

namespace plat::gtk {

class LoopSource {
public:
    // Attaches the source to the default main context and installs the host's turn.
    static void Install(FrontEndHost* host);

private:
    struct Source {
        GSource base;
        gpointer tag;
    };
    static gboolean Prepare(GSource* source, gint* timeout);
    static gboolean Check(GSource* source);
    static gboolean Dispatch(GSource* source, GSourceFunc, gpointer);
    static bool Turn(int maxWaitMs);

    static FrontEndHost* host_;
};

}  // namespace plat::gtk
