#include <QApplication>
#include <QLabel>

// The configuration wizard arrives with the installation pipeline; until then a placeholder window.
int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QLabel rotulo("Tidewell - Configuracao (em construcao)");
  rotulo.show();
  return QApplication::exec();
}
