// The entry: one application object, one run. The exit status tells a script whether the run
// did what it was asked (0) or not (1), or was cancelled (128 + the signal's number).
#include "app/KalmoApp.h"

int main() {
  int status = 0;
  {
    KalmoApp app;
    status = app.run();
  }
  return status;
}
