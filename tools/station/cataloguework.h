#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <thread>

// Work on the catalogue folder and on Steam's files, which may wait long: for another writer's
// lock, on a slow or hung drive. It runs beside the event loop on a thread of its own, one piece
// at a time in the order given, so the agent answers commands and publishes its status meanwhile.
// A piece touches nothing of the loop's and logs nothing; what it returns runs on the loop.
class CatalogueWork : public QObject
{
    Q_OBJECT

public:
    using Then = std::function<void()>;
    using Work = std::function<Then()>;
    using Failed = std::function<void(const QString& error)>;
    // How long the end of the agent waits for a piece in progress; one that hangs is left behind.
    static constexpr int kStopWaitMs = 2000;

    CatalogueWork();
    ~CatalogueWork() override;
    CatalogueWork(const CatalogueWork&) = delete;
    CatalogueWork& operator=(const CatalogueWork&) = delete;

    // `work` runs on the thread; what it returns runs on the loop afterwards, or `failed` when it
    // threw.
    void post(Work work, Failed failed);
    // Pieces posted whose outcome has not run on the loop yet.
    int pending() const { return m_pending; }

signals:
    // The last outcome has run: nothing is pending.
    void idle();

private:
    struct Shared;
    static void serve(const std::shared_ptr<Shared>& shared);
    void finished(const Then& then);

    std::shared_ptr<Shared> m_shared;
    std::thread m_thread;
    int m_pending = 0;
};
