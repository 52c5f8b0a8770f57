// Start-up of the window layer in a child process: the fatal end when no display can be
// reached, and the platform plugin chosen under a Wayland session.
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <gtest/gtest.h>

namespace {

struct ChildResult {
    int exitCode = -1;
    QString out;
    QString err;
};

ChildResult runChild(const QString& mode, const QProcessEnvironment& environment) {
    QProcess child;
    child.setProcessEnvironment(environment);
    child.start(QStringLiteral("/proc/self/exe"), {QStringLiteral("--child=") + mode});
    EXPECT_TRUE(child.waitForFinished(30000)) << mode.toStdString();
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << "the child crashed or was killed";
    return {child.exitCode(), QString::fromUtf8(child.readAllStandardOutput()),
            QString::fromUtf8(child.readAllStandardError())};
}

QProcessEnvironment withoutPlatformChoice() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "XDG_SESSION_TYPE"}) {
        environment.remove(QString::fromLatin1(name));
    }
    return environment;
}

TEST(WindowStart, WithNoDisplayTheProcessEndsWithMinusOneAndRunsNothingElse) {
    QProcessEnvironment environment = withoutPlatformChoice();
    environment.remove(QStringLiteral("DISPLAY"));
    const ChildResult result = runChild(QStringLiteral("no-display"), environment);
    EXPECT_EQ(result.exitCode, 255);
    EXPECT_TRUE(result.err.contains(QStringLiteral("could not connect to display")))
        << result.err.toStdString();
    EXPECT_FALSE(result.out.contains(QStringLiteral("exit routine ran")))
        << result.out.toStdString();
}

TEST(WindowStart, AsksForXcbUnderWaylandWhenAnXServerIsThere) {
    ASSERT_FALSE(qEnvironmentVariableIsEmpty("DISPLAY")) << "the tests run under an X server";
    const struct {
        const char* wayland;  // WAYLAND_DISPLAY, nullptr for unset
        const char* platform; // QT_QPA_PLATFORM, nullptr for unset
        const char* report;   // the platform asked for, then the one Qt took
    } cases[] = {
        {"wayland-0", nullptr, "xcb xcb"},
        {nullptr, nullptr, "(unset) xcb"},
        {"wayland-0", "offscreen", "offscreen offscreen"},
    };
    for (const auto& c : cases) {
        QProcessEnvironment environment = withoutPlatformChoice();
        if (c.wayland) {
            environment.insert(QStringLiteral("WAYLAND_DISPLAY"), QString::fromLatin1(c.wayland));
        }
        if (c.platform) {
            environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QString::fromLatin1(c.platform));
        }
        const ChildResult result = runChild(QStringLiteral("platform"), environment);
        EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
        EXPECT_EQ(result.out.trimmed(), QString::fromLatin1(c.report))
            << (c.wayland ? c.wayland : "-") << " " << (c.platform ? c.platform : "-");
    }
}

} // namespace
