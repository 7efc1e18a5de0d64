#include "vantor_test_support.h"

#include "slave/engine/tcp_server.h"

void VantorFixture::chooseLoopbackTcp(bool ignoreUnitId) {
  app()->settings().port = slavesettings::kTcpPort;
  app()->settings().uid = ignoreUnitId ? 1 : 0;
  app()->setListen(QStringLiteral("127.0.0.1"), 0);
}

int VantorFixture::connectTcp(bool ignoreUnitId) {
  chooseLoopbackTcp(ignoreUnitId);
  if (!app()->connectLink(frame(), false)) return 0;
  return slavetcp::ListeningPort();
}
