#include "blockfixture.h"

#include <sharedmemory.h>

#include <QProcess>
#include <QtTest>

#include <array>
#include <cerrno>

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using Block16 = std::array<unsigned char, 16>;
using Block100 = std::array<unsigned char, 100>;

namespace {

Block16 pattern16(unsigned char first)
{
    Block16 b{};
    for (std::size_t i = 0; i < b.size(); ++i)
        b[i] = static_cast<unsigned char>(first + i);
    return b;
}

QByteArray bytesOf(const Block16& b)
{
    return QByteArray(reinterpret_cast<const char*>(b.data()), int(b.size()));
}

// Creates the object by hand, the way a peer with other ideas about its size would.
void makeObject(const char* name, const QByteArray& content)
{
    const int fd = ::open(QFile::encodeName(BlockFixture::path(name)).constData(), O_CREAT | O_RDWR, 0600);
    QVERIFY(fd >= 0);
    QCOMPARE(ftruncate(fd, content.size()), 0);
    QCOMPARE(write(fd, content.constData(), size_t(content.size())), ssize_t(content.size()));
    close(fd);
}

// Descriptors of this process, counted without Qt so it also works in a forked child.
int descriptorCount()
{
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (const dirent* entry = readdir(dir))
            count += entry->d_name[0] != '.';
        closedir(dir);
    }
    return count - 1; // the directory stream's own
}

struct OpeningOutcome {
    int thrown = 0; // 0 when the block opened
    int error = 0;
    int descriptorsLeft = 0; // after the attempt, compared with before it
};

// Opens the block in a child process running as an unprivileged user, so that permissions
// apply even when the tests run as root. Returns false when the child could not be run.
bool openAsOtherUser(const char* name, bool writable, OpeningOutcome& outcome)
{
    int channel[2];
    if (pipe(channel) != 0)
        return false;
    const pid_t child = fork();
    if (child < 0)
        return false;
    if (child == 0) {
        close(channel[0]);
        OpeningOutcome result;
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(2);
        const int before = descriptorCount();
        try {
            SharedMemory<Block16> block(name, writable);
        } catch (int code) {
            result.thrown = code;
            result.error = lastSystemError();
        }
        result.descriptorsLeft = descriptorCount() - before;
        const bool sent = write(channel[1], &result, sizeof result) == ssize_t(sizeof result);
        _exit(sent ? 0 : 3);
    }
    close(channel[1]);
    const bool received = read(channel[0], &outcome, sizeof outcome) == ssize_t(sizeof outcome);
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return received && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

class TestSharedMemory : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_name = BlockFixture::uniqueName(QTest::currentTestFunction());
        BlockFixture::remove(m_name);
    }
    void cleanup() { BlockFixture::remove(m_name); }

    void newBlockIsZeroedAndSharedWithAnotherProcess()
    {
        SharedMemory<Block16> block(m_name, true);
        QCOMPARE(BlockFixture::rawBytes(m_name), QByteArray(16, '\0'));
        Block16 seen = pattern16(0xAA);
        block.read(seen);
        QCOMPARE(seen, Block16{});

        const Block16 first = pattern16(1);
        block.write(&first);
        QProcess other;
        other.start(NERQ_DEVICELINK_PROBE, {"block", m_name, bytesOf(pattern16(0x40)).toHex()});
        QVERIFY(other.waitForFinished(10000));
        QCOMPARE(other.exitCode(), 0);
        // The other process saw our bytes, and we see the ones it wrote.
        QCOMPARE(other.readAllStandardOutput().trimmed(), bytesOf(pattern16(1)).toHex());
        block.read(seen);
        QCOMPARE(seen, pattern16(0x40));

        // A second opening in this process maps the same bytes.
        SharedMemory<Block16> again(m_name, false);
        Block16 viaAgain{};
        again.read(viaAgain);
        QCOMPARE(viaAgain, pattern16(0x40));
    }

    void blockCreatedByAnotherProcessIsOpened()
    {
        QProcess other;
        other.start(NERQ_DEVICELINK_PROBE, {"block", m_name, bytesOf(pattern16(7)).toHex()});
        QVERIFY(other.waitForFinished(10000));
        QCOMPARE(other.readAllStandardOutput().trimmed(), QByteArray(16, '\0').toHex());
        SharedMemory<Block16> block(m_name, false);
        Block16 seen{};
        block.read(seen);
        QCOMPARE(seen, pattern16(7));
    }

    // Only this user may read or write a block the program creates (game modes, calibration
    // requests, the quit flag), whatever the umask, and even a umask that would take the
    // owner's own write access away.
    void createdBlockIsForItsOwnerOnly()
    {
        for (const mode_t mask : {mode_t(0), mode_t(022), mode_t(077), mode_t(0277)}) {
            for (const bool writable : {true, false}) {
                BlockFixture::remove(m_name);
                const mode_t previous = ::umask(mask);
                int thrown = 0;
                try {
                    SharedMemory<Block16> block(m_name, writable);
                } catch (int code) {
                    thrown = code;
                }
                ::umask(previous);
                QCOMPARE(thrown, 0);
                struct stat st {
                };
                QCOMPARE(::stat(QFile::encodeName(BlockFixture::path(m_name)).constData(), &st), 0);
                QCOMPARE(st.st_mode & 07777, mode_t(0600));
            }
        }
    }

    void readOnlyInstanceCreatesButNeverWrites()
    {
        SharedMemory<Block16> readOnly(m_name, false);
        QCOMPARE(BlockFixture::rawBytes(m_name), QByteArray(16, '\0'));
        QVERIFY(!readOnly.writable());

        const Block16 ours = pattern16(0x10);
        readOnly.write(&ours);
        QCOMPARE(BlockFixture::rawBytes(m_name), QByteArray(16, '\0'));

        SharedMemory<Block16> writable(m_name, true);
        writable.write(&ours);
        Block16 seen{};
        readOnly.read(seen);
        QCOMPARE(seen, ours);

        const Block16 other = pattern16(0x90);
        readOnly.write(&other);
        writable.write(nullptr);
        QCOMPARE(BlockFixture::rawBytes(m_name), bytesOf(ours));
    }

    void shorterObjectIsGrownBeforeMapping()
    {
        makeObject(m_name, "abc");
        SharedMemory<Block100> block(m_name, true);
        Block100 seen{};
        seen.fill(0xEE);
        block.read(seen);
        QCOMPARE(seen[0], (unsigned char)'a');
        QCOMPARE(seen[2], (unsigned char)'c');
        QCOMPARE(seen[99], (unsigned char)0);

        // Touching the last byte of a view past the object's end would raise SIGBUS.
        Block100 full{};
        full.fill(0xAB);
        block.write(&full);
        QCOMPARE(BlockFixture::rawBytes(m_name), QByteArray(100, char(0xAB)));
    }

    void longerObjectKeepsItsTail()
    {
        QByteArray content(64, 'x');
        makeObject(m_name, content);
        SharedMemory<Block16> block(m_name, true);
        const Block16 ours = pattern16(0x30);
        block.write(&ours);
        QCOMPARE(BlockFixture::rawBytes(m_name), bytesOf(ours) + QByteArray(48, 'x'));
    }

    // A peer that truncates the object (opening it with O_TRUNC, say) under our mapping would
    // turn our next copy into SIGBUS; the block is grown back to its size before each copy.
    void objectShrunkUnderTheViewIsGrownBack()
    {
        SharedMemory<Block100> block(m_name, true);
        SharedMemory<Block100> readOnly(m_name, false);
        for (int length : {0, 3, 99}) {
            makeObject(m_name, QByteArray(length, 's'));
            Block100 seen{};
            seen.fill(0xEE);
            readOnly.read(seen);
            Block100 expected{};
            std::fill(expected.begin(), expected.begin() + length, 's');
            QCOMPARE(seen, expected);

            makeObject(m_name, QByteArray(length, 's'));
            Block100 full{};
            full.fill(0xAB);
            block.write(&full);
            QCOMPARE(BlockFixture::rawBytes(m_name), QByteArray(100, char(0xAB)));
        }
    }

    void closingReleasesDescriptorAndMapping()
    {
        const BlockFixture::OpenResources before = BlockFixture::openResources();
        {
            SharedMemory<Block16> block(m_name, true);
            QVERIFY(block.writable());
            const BlockFixture::OpenResources open = BlockFixture::openResources();
            QCOMPARE(open.descriptors, before.descriptors + 1);
            QCOMPARE(open.sharedMappings, before.sharedMappings + 1);
        }
        QVERIFY(BlockFixture::openResources() == before);
        // The object outlives its last opening; only removal ends it.
        QVERIFY(BlockFixture::exists(m_name));
    }

    void failedOpeningHoldsNothing_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<int>("error");
        // glibc reports a directory in the way as EINVAL, not EISDIR.
        QTest::newRow("directory in the way") << QByteArray() << int(EINVAL);
        QTest::newRow("slash inside the name") << QByteArray("nerq/test") << int(EINVAL);
        QTest::newRow("empty name") << QByteArray("") << int(EINVAL);
        // Past NAME_MAX; glibc checks the length itself and says EINVAL, not ENAMETOOLONG.
        QTest::newRow("name too long") << QByteArray(300, 'n') << int(EINVAL);
    }
    void failedOpeningHoldsNothing()
    {
        QFETCH(QByteArray, name);
        QFETCH(int, error);
        if (name.isNull()) {
            name = m_name;
            QVERIFY(BlockFixture::blockWithDirectory(m_name));
        }
        const BlockFixture::OpenResources before = BlockFixture::openResources();
        for (int attempt = 0; attempt < 10; ++attempt) {
            int thrown = 0;
            try {
                SharedMemory<Block16> block(name.constData(), true);
            } catch (int code) {
                thrown = code;
            }
            QCOMPARE(thrown, -2);
            QCOMPARE(lastSystemError(), error);
        }
        QVERIFY(BlockFixture::openResources() == before);
    }

    // A block the service made with a mode of its own. The program never changes the mode; when
    // the mode keeps it out, the opening fails like any other, with the cause kept and nothing
    // left open.
    void blockWithAnotherModeFromTheService_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("othersMayOpen");
        QTest::newRow("0400") << 0400 << false;
        QTest::newRow("0000") << 0000 << false;
        QTest::newRow("0444") << 0444 << false; // every opening asks for writing, even read-only ones
        QTest::newRow("0666") << 0666 << true;
    }
    void blockWithAnotherModeFromTheService()
    {
        QFETCH(int, mode);
        QFETCH(bool, othersMayOpen);
        makeObject(m_name, QByteArray(16, 'S'));
        QCOMPARE(chmod(QFile::encodeName(BlockFixture::path(m_name)).constData(), mode_t(mode)), 0);

        // Root opens it whatever the mode, and only the bytes change, never the mode.
        if (geteuid() == 0) {
            SharedMemory<Block16> block(m_name, true);
            const Block16 ours = pattern16(0x21);
            block.write(&ours);
            QCOMPARE(BlockFixture::rawBytes(m_name), bytesOf(ours));
        }
        struct stat st {
        };
        QCOMPARE(stat(QFile::encodeName(BlockFixture::path(m_name)).constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 07777), mode);

        // Anyone else (an unprivileged child when we are root, this user otherwise, whose
        // owner bits match the others' here) is held to the mode.
        for (bool writable : {true, false}) {
            OpeningOutcome outcome;
            QVERIFY(openAsOtherUser(m_name, writable, outcome));
            QCOMPARE(outcome.descriptorsLeft, 0);
            if (othersMayOpen) {
                QCOMPARE(outcome.thrown, 0);
            } else {
                QCOMPARE(outcome.thrown, -2);
                QCOMPARE(outcome.error, int(EACCES));
            }
        }
    }

    void failedMappingHoldsNothing()
    {
        // With the address space capped at what is mapped now, shm_open succeeds and mmap
        // cannot: the -3 path, cleanup included.
        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_AS, &saved), 0);
        const BlockFixture::OpenResources before = BlockFixture::openResources();
        rlimit capped = saved;
        capped.rlim_cur = currentAddressSpace();
        QVERIFY(capped.rlim_cur > 0);

        int thrown = 0;
        int error = 0;
        QCOMPARE(setrlimit(RLIMIT_AS, &capped), 0);
        try {
            SharedMemory<Block16> block(m_name, true);
        } catch (int code) {
            thrown = code;
            error = lastSystemError();
        }
        setrlimit(RLIMIT_AS, &saved);

        QCOMPARE(thrown, -3);
        QCOMPARE(error, int(ENOMEM));
        QVERIFY(BlockFixture::openResources() == before);
    }

private:
    static rlim_t currentAddressSpace()
    {
        QFile status(QStringLiteral("/proc/self/status"));
        if (!status.open(QIODevice::ReadOnly))
            return 0;
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmSize:"))
                return rlim_t(line.mid(7).trimmed().split(' ').first().toULongLong()) * 1024;
        return 0;
    }

    QByteArray m_name;
};

QTEST_GUILESS_MAIN(TestSharedMemory)
#include "tst_sharedmemory.moc"
