#include "vantor_test_support.h"

#include "slave/engine/tcp_server.h"

int VantorFixture::connectTcp(bool ignoreUnitId) {
  app()->settings().port = slavesettings::kTcpPort;
  app()->settings().uid = ignoreUnitId ? 1 : 0;
  app()->setListen(QStringLiteral("127.0.0.1"), 0);
  if (!app()->connectLink(frame(), false)) return 0;
  return slavetcp::ListeningPort();
}
