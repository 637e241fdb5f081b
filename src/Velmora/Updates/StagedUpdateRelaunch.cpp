#include "StagedUpdateRelaunch.h"

#include "Platform/LogCategories.h"

namespace velmora {

const QString StagedUpdateRelaunch::notStartedMessage = QStringLiteral(
    "The update could not be installed: its last step did not start. Velmora stays as it is; try again later.");

StagedUpdateRelaunch::StagedUpdateRelaunch(Steps steps, QObject* parent)
    : QObject(parent)
    , m_steps(std::move(steps))
{
}

void StagedUpdateRelaunch::relaunch(const QString& staged)
{
    if (m_staged && *m_staged != staged)
        m_steps.discard(*m_staged); // a newer one replaces it
    m_staged = staged;
    retry();
}

void StagedUpdateRelaunch::retry()
{
    if (!m_staged)
        return;
    if (const auto reason = m_steps.blockReason()) {
        qCInfo(logging::shell) << "the update waits for the dictation to end";
        m_steps.showWaiting(*reason);
        return;
    }
    const QString staged = *std::exchange(m_staged, std::nullopt);
    m_steps.hideWaiting();
    if (!m_steps.startFinishing(staged)) {
        qCWarning(logging::shell) << "the update's finishing step could not start";
        m_steps.discard(staged);
        m_steps.tell(notStartedMessage);
        return;
    }
    m_steps.quit();
}

} // namespace velmora
