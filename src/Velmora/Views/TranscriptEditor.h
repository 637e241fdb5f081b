#pragma once

#include <QPlainTextEdit>

namespace velmora {

// The editable transcript. A value from the model replaces the text only when
// it differs, with the caret at the end; an equal value leaves the user's caret,
// selection and undo history alone. `edited` reports the user's edits only.
class TranscriptEditor : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TranscriptEditor(QWidget* parent = nullptr);

    void setModelText(const QString& text);

signals:
    void edited(const QString& text);

private:
    bool m_applyingModel = false;
};

} // namespace velmora
