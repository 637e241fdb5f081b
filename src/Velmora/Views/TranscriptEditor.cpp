#include "TranscriptEditor.h"

#include <QTextCursor>

namespace velmora {

TranscriptEditor::TranscriptEditor(QWidget* parent)
    : QPlainTextEdit(parent)
{
    setObjectName(QStringLiteral("transcriptEditor"));
    setAccessibleName(QStringLiteral("Transcript"));
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setUndoRedoEnabled(true);
    // Tab moves on to the next control; a dictation tool's transcript has no use for tabs.
    setTabChangesFocus(true);
    QFont editorFont = font();
    editorFont.setPixelSize(14);
    setFont(editorFont);
    document()->setDocumentMargin(6);
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_applyingModel)
            emit edited(toPlainText());
    });
}

void TranscriptEditor::setModelText(const QString& text)
{
    if (toPlainText() == text)
        return;
    m_applyingModel = true;
    setPlainText(text);
    m_applyingModel = false;
    QTextCursor cursor = textCursor();
    cursor.movePosition(QTextCursor::End);
    setTextCursor(cursor);
    ensureCursorVisible();
}

} // namespace velmora
