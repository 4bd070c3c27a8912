#include "cataloguework.h"

#include <QMetaObject>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>

// What the thread and the loop share. It outlives the agent when a piece hangs at its end.
struct CatalogueWork::Shared {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::function<void()>> queue;
    CatalogueWork* owner = nullptr; // null once the loop's side is gone
    bool quitting = false;
    bool done = false;
};

void CatalogueWork::serve(const std::shared_ptr<Shared>& shared)
{
    for (;;) {
        std::function<void()> piece;
        {
            std::unique_lock<std::mutex> lock(shared->mutex);
            shared->changed.wait(lock, [&] { return shared->quitting || !shared->queue.empty(); });
            if (shared->quitting)
                break;
            piece = std::move(shared->queue.front());
            shared->queue.pop_front();
        }
        piece();
    }
    std::lock_guard<std::mutex> lock(shared->mutex);
    shared->done = true;
    shared->changed.notify_all();
}

CatalogueWork::CatalogueWork()
    : m_shared(std::make_shared<Shared>())
{
    m_shared->owner = this;
}

CatalogueWork::~CatalogueWork()
{
    std::unique_lock<std::mutex> lock(m_shared->mutex);
    m_shared->owner = nullptr;
    m_shared->quitting = true;
    m_shared->changed.notify_all();
    if (!m_thread.joinable())
        return;
    const bool ended =
        m_shared->changed.wait_for(lock, std::chrono::milliseconds(kStopWaitMs), [this] { return m_shared->done; });
    lock.unlock();
    // A piece stuck in the system (a hung drive) cannot be stopped: it is left to the process's end.
    if (ended)
        m_thread.join();
    else
        m_thread.detach();
}

void CatalogueWork::post(Work work, Failed failed)
{
    ++m_pending;
    const std::shared_ptr<Shared> shared = m_shared;
    auto piece = [shared, work = std::move(work), failed = std::move(failed)] {
        Then then;
        try {
            then = work();
        } catch (const std::exception& e) {
            then = [failed, error = QString::fromLocal8Bit(e.what())] { failed(error); };
        } catch (...) {
            then = [failed] { failed(QStringLiteral("an unknown error")); };
        }
        std::lock_guard<std::mutex> lock(shared->mutex);
        if (shared->owner)
            QMetaObject::invokeMethod(
                shared->owner, [owner = shared->owner, then] { owner->finished(then); }, Qt::QueuedConnection);
    };
    {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        m_shared->queue.push_back(std::move(piece));
        m_shared->changed.notify_all();
    }
    if (!m_thread.joinable())
        m_thread = std::thread(serve, m_shared);
}

void CatalogueWork::finished(const Then& then)
{
    if (then)
        then();
    if (--m_pending == 0)
        emit idle();
}
