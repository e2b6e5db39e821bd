#include "app/LibraryMessages.h"

#include <pcl/console/print.h>
#include <vtkLogger.h>
#include <vtkObjectFactory.h>
#include <vtkOutputWindow.h>
#include <vtkSmartPointer.h>

Q_LOGGING_CATEGORY(lcLibrary, "hvk32.library", QtWarningMsg)

namespace {

// VTK's messages of every kind, errors included, as debug lines of lcLibrary.
class DebugOutputWindow : public vtkOutputWindow {
public:
    static DebugOutputWindow* New();
    vtkTypeMacro(DebugOutputWindow, vtkOutputWindow);

    void DisplayText(const char* text) override { qCDebug(lcLibrary).noquote() << "VTK:" << text; }
};

vtkStandardNewMacro(DebugOutputWindow);

} // namespace

namespace hvk32 {

void routeLibraryMessages(bool verbose)
{
    QLoggingCategory::setFilterRules(verbose ? QStringLiteral("hvk32.library.debug=true")
                                             : QStringLiteral("hvk32.library.debug=false"));
    vtkSmartPointer<DebugOutputWindow> window = vtkSmartPointer<DebugOutputWindow>::New();
    window->SetDisplayModeToDefault();
    vtkOutputWindow::SetInstance(window);
    // VTK's logger writes its own copy of warnings to stderr.
    vtkLogger::SetStderrVerbosity(verbose ? vtkLogger::VERBOSITY_WARNING : vtkLogger::VERBOSITY_OFF);
    pcl::console::setVerbosityLevel(verbose ? pcl::console::L_DEBUG : pcl::console::L_ERROR);
}

} // namespace hvk32
