#include "controller.h"

#include "dragview.h"
#include "toolkit/classinit.h"
#include "toolkit/log.h"

namespace bibsources {

Controller::Controller(QObject *parent)
    : toolkit::ApplicationDelegate(parent)
{
    toolkit::initializeClass<Controller>();
}

void Controller::initialize()
{
    toolkit::log(QStringLiteral("Initialized"));
}

void Controller::awakeFromNib()
{
    if (dragView) {
        dragView->setDelegate(this);
    }
    toolkit::Application::shared()->setDelegate(this);
}

void Controller::convertBibTex(QObject *sender)
{
    Q_UNUSED(sender);
    toolkit::log(QStringLiteral("Convert pressed"));
    if (dragView && !dragView->pathInfo().isEmpty()) {
        dragView->convert();
    } else {
        toolkit::log(QStringLiteral("Nil"));
    }
}

bool Controller::applicationShouldTerminateAfterLastWindowClosed(QObject *application)
{
    Q_UNUSED(application);
    return true;
}

} // namespace bibsources
