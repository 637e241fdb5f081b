#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>
#include <optional>
#include <variant>
#include <vector>

namespace velmora::platform {

enum class Selection { clipboard, primary };

struct SelectionFormat {
    QString name; // the target as its owner offers it: "UTF8_STRING", "image/png", ...
    QByteArray data;

    bool operator==(const SelectionFormat&) const = default;
};

enum class SelectionReadError {
    noDisplay,
    timedOut, // the owner did not answer in time (a frozen program)
    tooLarge, // more than the size limit in all formats together
};

QString describe(SelectionReadError error);

// Reads every format the owner of a selection offers. Blocks: call it off the
// main thread, never on it (Velmora itself may be the owner).
class SelectionReader {
public:
    struct Limits {
        std::chrono::milliseconds time{2000};
        qint64 bytes = 64 * 1024 * 1024;
    };

    virtual ~SelectionReader() = default;
    // Formats the owner refuses to convert are left out; an empty list is an empty selection.
    virtual std::variant<std::vector<SelectionFormat>, SelectionReadError> read(Selection selection, Limits limits) = 0;
};

} // namespace velmora::platform
