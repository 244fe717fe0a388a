// How long the window takes to come up: starts it as ui/main.cpp does
// (ui/Startup.h), waits until it has painted and the event loop is idle again
// (ready for input), then prints the milliseconds since main() began and
// quits. The chip list's timer (one second after start) is not waited for. Run
// it with QT_QPA_PLATFORM=offscreen; bench/startup.sh times the whole process
// (exec, libraries, window, exit) with hyperfine.
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTimer>

#include <cstdio>

#include "ui/Startup.h"

namespace {

// Quits once the window has painted and the events queued meanwhile are done.
class ReadyProbe : public QObject {
  public:
    explicit ReadyProbe(const QElapsedTimer& clock) : clock_(clock) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !painted_) {
            painted_ = true;
            QTimer::singleShot(0, [this] {
                std::printf("window ready after %.1f ms\n",
                            static_cast<double>(clock_.nsecsElapsed()) / 1e6);
                QApplication::quit();
            });
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    const QElapsedTimer& clock_;
    bool painted_ = false;
};

}  // namespace

int main(int argc, char* argv[]) {
    QElapsedTimer clock;
    clock.start();
    QApplication application(argc, argv);
    SetUpApplication();
    THelpForm HelpForm;
    const std::unique_ptr<TDisForm> DisForm = MakeMainWindow(HelpForm);
    ReadyProbe probe(clock);
    DisForm->installEventFilter(&probe);
    DisForm->show();
    return QApplication::exec();
}
