#include <QApplication>
#include <QLabel>

#include "app/params.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QLabel label(QString("VELTRIX %1").arg(vx::kSoftwareVersion));
  label.setWindowTitle(QString("VELTRIX %1").arg(vx::kSoftwareVersion));
  label.show();
  return app.exec();
}
