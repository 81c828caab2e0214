#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <memory>

namespace {

bool waitFor(const std::function<bool()>& condition, int milliseconds = 20000)
{
    const QDeadlineTimer deadline(milliseconds);
    while (!condition() && !deadline.hasExpired())
        QThread::msleep(20);
    return condition();
}

} // namespace

// Real copies of the program, each in its own process, sharing one runtime directory.
class SingleInstanceTest : public ::testing::Test
{
protected:
    SingleInstanceTest()
    {
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    }

    ~SingleInstanceTest() override
    {
        for (const auto& copy : copies) {
            copy->kill();
            copy->waitForFinished(5000);
        }
    }

    QProcess& startCopy(const QString& program)
    {
        copies.push_back(std::make_unique<QProcess>());
        QProcess& copy = *copies.back();
        copy.setProcessEnvironment(environment);
        copy.start(program, {});
        EXPECT_TRUE(copy.waitForStarted(5000)) << program.toStdString();
        return copy;
    }

    // A copy owns its name once it listens for later copies.
    bool listening(const QString& name) const
    {
        return QFile::exists(QDir(runtime.path()).filePath(name + ".socket"));
    }

    QTemporaryDir runtime;
    QTemporaryDir programs;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    std::vector<std::unique_ptr<QProcess>> copies;
};

TEST_F(SingleInstanceTest, aSecondCopyRaisesTheFirstAndEndsSilently)
{
    QProcess& first = startCopy(QStringLiteral(KOVSL47_PATH));
    ASSERT_TRUE(waitFor([&] { return listening(QStringLiteral("KOVSL47")); }));

    QElapsedTimer clock;
    clock.start();
    QProcess& second = startCopy(QStringLiteral(KOVSL47_PATH));
    ASSERT_TRUE(second.waitForFinished(10000));
    const qint64 secondLasted = clock.elapsed();
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(second.readAllStandardOutput().isEmpty());
    EXPECT_TRUE(second.readAllStandardError().isEmpty());
    EXPECT_LT(secondLasted, 5000);

    QByteArray firstSaid;
    EXPECT_TRUE(waitFor([&] {
        firstSaid += first.readAllStandardError();
        first.waitForReadyRead(20);
        return firstSaid.contains("Another copy was started");
    }));
    EXPECT_EQ(first.state(), QProcess::Running);
}

TEST_F(SingleInstanceTest, copiesUnderAnotherNameRunSideBySide)
{
    const QString other = QDir(programs.path()).filePath(QStringLiteral("KOVSL47-bench"));
    ASSERT_TRUE(QFile::link(QStringLiteral(KOVSL47_PATH), other));

    QProcess& first = startCopy(QStringLiteral(KOVSL47_PATH));
    ASSERT_TRUE(waitFor([&] { return listening(QStringLiteral("KOVSL47")); }));
    QProcess& renamed = startCopy(other);
    ASSERT_TRUE(waitFor([&] { return listening(QStringLiteral("KOVSL47-bench")); }));
    EXPECT_FALSE(renamed.waitForFinished(1000));
    EXPECT_EQ(renamed.state(), QProcess::Running);
    EXPECT_EQ(first.state(), QProcess::Running);
}

TEST_F(SingleInstanceTest, theLockOfACrashedCopyIsTakenOver)
{
    QProcess& crashed = startCopy(QStringLiteral(KOVSL47_PATH));
    ASSERT_TRUE(waitFor([&] { return listening(QStringLiteral("KOVSL47")); }));
    crashed.kill(); // leaves its lock and its socket behind
    ASSERT_TRUE(crashed.waitForFinished(5000));
    ASSERT_TRUE(QFile::exists(QDir(runtime.path()).filePath(QStringLiteral("KOVSL47.lock"))));

    QProcess& next = startCopy(QStringLiteral(KOVSL47_PATH));
    EXPECT_FALSE(next.waitForFinished(3000));
    EXPECT_EQ(next.state(), QProcess::Running);

    // And the new copy owns the name: a further copy hands over to it.
    QProcess& further = startCopy(QStringLiteral(KOVSL47_PATH));
    ASSERT_TRUE(further.waitForFinished(10000));
    EXPECT_EQ(further.exitCode(), 0);
}
