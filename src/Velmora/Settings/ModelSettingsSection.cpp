#include "ModelSettingsSection.h"

#include "SettingsStyle.h"

#include "Dictation/DictationController.h"
#include "Widgets/ModelDownloadStatusSection.h"
#include "Widgets/SymbolIcon.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

namespace velmora {

ModelSettingsSection::ModelSettingsSection(DictationController& controller, WhisperModelManager& models,
                                           PinnedWhisperModel model, Discover discover, QWidget* parent)
    : QWidget(parent)
    , m_controller(controller)
    , m_discover(std::move(discover))
{
    setObjectName(QStringLiteral("modelSection"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    column->addWidget(SettingsStyle::sectionTitle(QStringLiteral("Model"), Symbol::brain, this));
    m_rowColumn = new QVBoxLayout;
    m_rowColumn->setSpacing(2);
    column->addLayout(m_rowColumn);
    m_add = new QPushButton(QStringLiteral("Add model…"), this);
    m_add->setObjectName(QStringLiteral("addModelButton"));
    m_add->setFlat(true);
    m_add->setIcon(SymbolIcon::icon(Symbol::plusCircle, palette().color(QPalette::Highlight)));
    m_add->setFont(SettingsStyle::font(font(), 12));
    m_add->setAccessibleName(QStringLiteral("Add model…"));
    m_add->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    column->addWidget(m_add, 0, Qt::AlignLeft);
    column->addWidget(new ModelDownloadStatusSection(models, std::move(model), this));

    connect(m_add, &QPushButton::clicked, this, [this] { openModelChooser(); });
    connect(&m_controller, &DictationController::modelPathChanged, this, &ModelSettingsSection::refresh);
    connect(&m_controller, &DictationController::isRecordingChanged, this, &ModelSettingsSection::refresh);
    connect(&m_controller, &DictationController::isTranscribingChanged, this, &ModelSettingsSection::refresh);
    discoverModels();
    refresh();
}

ModelSettingsSection::~ModelSettingsSection()
{
    // The chooser belongs to the popover window; it goes with the section that opened it.
    delete m_chooser;
}

void ModelSettingsSection::discoverModels()
{
    const quint64 discovery = ++m_discovery;
    auto* watcher = new QFutureWatcher<QList<DiscoveredModel>>(this);
    connect(watcher, &QFutureWatcher<QList<DiscoveredModel>>::finished, this, [this, watcher, discovery] {
        watcher->deleteLater();
        if (discovery != m_discovery)
            return; // a newer look at the folder is on its way
        m_available = DiscoveredModel::includingChosen(watcher->result(), m_chosenPath);
        rebuildRows();
        emit modelsDiscovered();
    });
    watcher->setFuture(QtConcurrent::run([discover = m_discover, path = m_controller.managedModelPath()] {
        return discover(path);
    }));
}

void ModelSettingsSection::rebuildRows()
{
    qDeleteAll(m_rowButtons);
    m_rowButtons.clear();
    for (const DiscoveredModel& model : std::as_const(m_available)) {
        auto* row = new QToolButton(this);
        row->setObjectName(QStringLiteral("modelRow"));
        row->setText(model.displayName);
        row->setProperty("modelPath", model.path);
        row->setCheckable(true);
        row->setAutoRaise(true);
        row->setFocusPolicy(Qt::StrongFocus);
        row->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        row->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        row->setFont(SettingsStyle::font(font(), 12));
        row->setToolTip(model.path);
        row->setAccessibleName(model.isDefault ? model.displayName + QStringLiteral(", default") : model.displayName);
        row->setStyleSheet(QStringLiteral("QToolButton { text-align: left; padding: 3px 4px; border-radius: 5px; }"
                                          "QToolButton:checked { background: transparent; }"
                                          "QToolButton:hover, QToolButton:focus { background: rgba(127,127,127,40); }"));
        if (model.isDefault) {
            auto* layout = new QHBoxLayout(row);
            layout->setContentsMargins(0, 0, 6, 0);
            layout->addStretch(1);
            auto* tag = new QLabel(QStringLiteral("default"), row);
            tag->setObjectName(QStringLiteral("defaultModelTag"));
            tag->setFont(SettingsStyle::font(font(), 10, QFont::Medium));
            tag->setStyleSheet(QStringLiteral("color: %1; background: rgba(127,127,127,40); border-radius: 4px;"
                                              " padding: 1px 5px;")
                                   .arg(SettingsStyle::secondary(palette()).name(QColor::HexArgb)));
            tag->setAttribute(Qt::WA_TransparentForMouseEvents);
            layout->addWidget(tag);
        }
        const QString path = model.path;
        connect(row, &QToolButton::clicked, this, [this, path] {
            m_controller.setModelPath(path);
            refresh(); // a click on the chosen row must not untick it
        });
        m_rowColumn->addWidget(row);
        m_rowButtons.append(row);
    }
    SettingsStyle::placeBeforeInTabOrder({m_rowButtons.begin(), m_rowButtons.end()}, m_add);
    refresh();
}

void ModelSettingsSection::refresh()
{
    const bool busy = m_controller.isRecording() || m_controller.isTranscribing();
    const QString current = m_controller.modelPath().trimmed();
    const QColor accent = palette().color(QPalette::Highlight);
    const QColor secondary = SettingsStyle::secondary(palette());
    for (QToolButton* row : std::as_const(m_rowButtons)) {
        const bool chosen = row->property("modelPath").toString() == current;
        row->setChecked(chosen);
        row->setIcon(chosen ? SymbolIcon::fallback(Symbol::checkmarkCircleFill, accent)
                            : SymbolIcon::fallback(Symbol::circle, secondary));
        row->setEnabled(!busy);
    }
    m_add->setEnabled(!busy);
}

QFileDialog* ModelSettingsSection::openModelChooser()
{
    if (m_chooser) {
        m_chooser->raise();
        m_chooser->activateWindow();
        return m_chooser;
    }
    const QString current = m_controller.modelPath().trimmed();
    auto* chooser = new QFileDialog(window(), QStringLiteral("Select Whisper Model"),
                                    current.isEmpty() ? QString() : QFileInfo(current).absolutePath());
    chooser->setObjectName(QStringLiteral("modelChooser"));
    chooser->setOption(QFileDialog::DontUseNativeDialog);
    chooser->setFileMode(QFileDialog::ExistingFile);
    chooser->setAcceptMode(QFileDialog::AcceptOpen);
    chooser->setAttribute(Qt::WA_DeleteOnClose);
    connect(chooser, &QFileDialog::fileSelected, this, &ModelSettingsSection::chooseModelFile);
    m_chooser = chooser;
    chooser->open();
    return chooser;
}

void ModelSettingsSection::chooseModelFile(const QString& path)
{
    if (path.isEmpty())
        return;
    m_chosenPath = path;
    m_controller.setModelPath(path);
    m_available = DiscoveredModel::includingChosen(m_available, path);
    rebuildRows();
    discoverModels(); // the folder may hold files it did not hold before
}

} // namespace velmora
