#include "platform/CompositorWatch.h"

#include "platform/SelectionWatch.h"

CompositorWatch::CompositorWatch(QObject* parent)
    : QObject(parent)
    , m_watch(std::make_unique<SelectionWatch>(SelectionWatch::onScreen("_NET_WM_CM_S"))) {
    connect(m_watch.get(), &SelectionWatch::ownerChanged, this,
            &CompositorWatch::compositedChanged);
}

CompositorWatch::~CompositorWatch() = default;

bool CompositorWatch::isComposited() const {
    return m_watch->hasOwner();
}
