#include "platform/windowing.h"

using namespace Qt::StringLiterals;

namespace windowing {

namespace {
// Qt reads "-platform NAME" and "--platform NAME"; a last "-platform" without a name is
// ignored.
bool platformArgument(const QList<QByteArray>& arguments)
{
    for (qsizetype i = 1; i + 1 < arguments.size(); ++i) {
        if (arguments[i] == "-platform" || arguments[i] == "--platform")
            return true;
    }
    return false;
}
} // namespace

QByteArray choose(const QList<QByteArray>& arguments, const QProcessEnvironment& env)
{
    if (!env.value(u"QT_QPA_PLATFORM"_s).isEmpty() || platformArgument(arguments))
        return {};
    const bool x = !env.value(u"DISPLAY"_s).isEmpty();
    const bool wayland = !env.value(u"WAYLAND_DISPLAY"_s).isEmpty() ||
                         !env.value(u"WAYLAND_SOCKET"_s).isEmpty() ||
                         env.value(u"XDG_SESSION_TYPE"_s) == u"wayland";
    // Should XWayland not answer after all, Wayland still does.
    return x && wayland ? "xcb;wayland"_ba : QByteArray();
}

Arguments::Arguments(int count, char** values, const QProcessEnvironment& env)
{
    QList<QByteArray> arguments;
    for (int i = 0; i < count; ++i) {
        arguments << QByteArray(values[i]);
        m_argv << values[i];
    }
    m_platform = choose(arguments, env);
    if (!m_platform.isEmpty())
        m_argv << m_flag.data() << m_platform.data();
    argc = int(m_argv.size());
    m_argv << nullptr; // as argv ends
}

} // namespace windowing
