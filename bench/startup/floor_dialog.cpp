// The floor of the start-up benchmark: a bare Qt program that lists the ring with
// "gpg --list-keys" and shows one empty dialog. The preloaded probe ends it at the first paint.
#include <QApplication>
#include <QDialog>

#include "bench/common/measure.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  bench::RunProgram({"gpg", "--batch", "--list-keys"}, true);
  QDialog dialog;
  dialog.resize(640, 480);
  dialog.show();
  return app.exec();
}
