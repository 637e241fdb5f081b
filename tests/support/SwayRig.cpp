#include "SwayRig.h"

#include "TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <functional>

namespace velmora::test {

QString swayFocusedAppId()
{
    std::function<QString(const QJsonObject&)> find = [&](const QJsonObject& node) -> QString {
        if (node.value("focused").toBool())
            return node.value("app_id").toString();
        for (const char* children : {"nodes", "floating_nodes"})
            for (const QJsonValue& child : node.value(children).toArray())
                if (QString found = find(child.toObject()); !found.isEmpty())
                    return found;
        return {};
    };
    return find(QJsonDocument::fromJson(runProcess("swaymsg", {"-t", "get_tree"}).standardOutput).object());
}

} // namespace velmora::test
