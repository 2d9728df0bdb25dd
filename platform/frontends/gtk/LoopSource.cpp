#include "platform/frontends/gtk/LoopSource.h"

namespace plat::gtk {

FrontEndHost* LoopSource::host_ = nullptr;

gboolean LoopSource::Prepare(GSource*, gint* timeout) {
    *timeout = host_->LoopTimeoutMs();
    return *timeout == 0;
}

gboolean LoopSource::Check(GSource* source) {
    auto* s = reinterpret_cast<Source*>(source);
    return (g_source_query_unix_fd(source, s->tag) & G_IO_IN) != 0 || host_->LoopTimeoutMs() == 0;
}

gboolean LoopSource::Dispatch(GSource*, GSourceFunc, gpointer) {
    host_->LoopRunReady();
    return G_SOURCE_CONTINUE;
}

// One turn of GLib, waiting at most maxWaitMs (a time-out source bounds it).
bool LoopSource::Turn(int maxWaitMs) {
    GMainContext* context = g_main_context_default();
    if (maxWaitMs == 0) return g_main_context_iteration(context, FALSE);
    GSource* limit = nullptr;
    if (maxWaitMs > 0) {
        limit = g_timeout_source_new(static_cast<guint>(maxWaitMs));
        g_source_set_callback(limit, [](gpointer) -> gboolean { return G_SOURCE_REMOVE; }, nullptr, nullptr);
        g_source_attach(limit, context);
    }
    bool any = g_main_context_iteration(context, TRUE);
    if (limit) {
        g_source_destroy(limit);
        g_source_unref(limit);
    }
    return any;
}

void LoopSource::Install(FrontEndHost* host) {
    static GSourceFuncs funcs = {&LoopSource::Prepare, &LoopSource::Check, &LoopSource::Dispatch, nullptr, nullptr,
                                 nullptr};
    host_ = host;
    GSource* source = g_source_new(&funcs, sizeof(Source));
    auto* s = reinterpret_cast<Source*>(source);
    s->tag = g_source_add_unix_fd(source, host->LoopFd(), G_IO_IN);
    g_source_set_name(source, "novalink message loop");
    // A handler that waits (a message box) turns the context from inside this
    // source's dispatch; the source must run there too.
    g_source_set_can_recurse(source, TRUE);
    g_source_attach(source, g_main_context_default());
    g_source_unref(source);
    host->InstallLoopHost(&LoopSource::Turn);
}

}  // namespace plat::gtk
