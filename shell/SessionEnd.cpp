#include "shell/SessionEnd.h"

#include "platform/EndSignals.h"

#include <QGuiApplication>
#include <QSessionManager>

SessionEnd::SessionEnd(std::function<void()> onSignalHandler, std::function<void()> onSaveRequest)
    : m_onSignal(std::move(onSignalHandler))
{
    auto *endSignals = new EndSignals(this);
    connect(endSignals, &EndSignals::received, this, [this] {
        if (m_onSignal)
            m_onSignal();
    });
    connect(qApp, &QGuiApplication::commitDataRequest, this, [onSaveRequest](QSessionManager &) {
        if (onSaveRequest)
            onSaveRequest();
    });
}

SessionEnd::~SessionEnd() = default;
