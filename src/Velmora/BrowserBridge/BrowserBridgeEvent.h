#pragma once

#include "BrowserBridgeFailureCode.h"

#include <QString>

namespace velmora {

struct BrowserBridgeEvent {
    // Progress states first, then the results that end a session.
    enum class Kind { recording, transcribing, completed, empty, canceled, failed };

    Kind kind;
    QString session;
    QString text;                                                      // completed
    BrowserBridgeFailureCode code = BrowserBridgeFailureCode::internal; // failed
    QString message;                                                   // failed

    static BrowserBridgeEvent recording(const QString& s) { return {Kind::recording, s, {}, {}, {}}; }
    static BrowserBridgeEvent transcribing(const QString& s) { return {Kind::transcribing, s, {}, {}, {}}; }
    static BrowserBridgeEvent completed(const QString& s, const QString& text) { return {Kind::completed, s, text, {}, {}}; }
    static BrowserBridgeEvent empty(const QString& s) { return {Kind::empty, s, {}, {}, {}}; }
    static BrowserBridgeEvent canceled(const QString& s) { return {Kind::canceled, s, {}, {}, {}}; }
    static BrowserBridgeEvent failed(const QString& s, BrowserBridgeFailureCode code, const QString& message)
    {
        return {Kind::failed, s, {}, code, message};
    }

    bool isResult() const { return kind > Kind::transcribing; }
    bool operator==(const BrowserBridgeEvent&) const = default;
};

} // namespace velmora
