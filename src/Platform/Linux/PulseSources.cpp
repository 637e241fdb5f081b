#include "PulseSources.h"

#include <pulse/introspect.h>
#include <pulse/thread-mainloop.h>

namespace velmora::platform::PulseSources {

namespace {

struct Listing {
    pa_threaded_mainloop* loop;
    QList<PulseSource> sources;
    bool done = false;
};

QString property(const pa_proplist* properties, const char* key)
{
    const char* value = pa_proplist_gets(properties, key);
    return value ? QString::fromUtf8(value) : QString();
}

} // namespace

QList<PulseSource> list(const PulseAudioConnection& connection)
{
    Listing listing{connection.mainloop(), {}, false};
    connection.withLock([&] {
        pa_operation* operation = pa_context_get_source_info_list(
            connection.context(),
            [](pa_context*, const pa_source_info* info, int eol, void* data) {
                auto* l = static_cast<Listing*>(data);
                if (eol != 0 || !info) {
                    l->done = true;
                    pa_threaded_mainloop_signal(l->loop, 0);
                    return;
                }
                if (info->monitor_of_sink != PA_INVALID_INDEX)
                    return;
                l->sources.append({info->index, QString::fromUtf8(info->name),
                                   QString::fromUtf8(info->description ? info->description : info->name),
                                   property(info->proplist, "device.form_factor"), property(info->proplist, "device.bus"),
                                   int(info->channel_map.channels)});
            },
            &listing);
        if (!operation)
            return;
        while (!listing.done && pa_operation_get_state(operation) == PA_OPERATION_RUNNING)
            pa_threaded_mainloop_wait(connection.mainloop());
        pa_operation_unref(operation);
    });
    return listing.sources;
}

} // namespace velmora::platform::PulseSources
