/* Reference peer for the slave benchmark: a libmodbus Modbus/TCP server serving
 * many clients with select(), as in libmodbus's own multi-client example. It
 * listens on 127.0.0.1 and an ephemeral port, prints "ready PORT" and serves
 * 2048 holding registers until killed. */
#include <errno.h>
#include <modbus.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

int main(void) {
  modbus_t* ctx = modbus_new_tcp("127.0.0.1", 0);
  modbus_mapping_t* mapping = modbus_mapping_new(0, 0, 2048, 0);
  if (!ctx || !mapping) return 1;
  for (int i = 0; i < 2048; ++i) mapping->tab_registers[i] = (uint16_t)i;
  const int server = modbus_tcp_listen(ctx, 128);
  if (server < 0) {
    fprintf(stderr, "listen: %s\n", modbus_strerror(errno));
    return 1;
  }
  struct sockaddr_in address;
  socklen_t size = sizeof address;
  getsockname(server, (struct sockaddr*)&address, &size);
  printf("ready %u\n", ntohs(address.sin_port));
  fflush(stdout);

  fd_set watched;
  FD_ZERO(&watched);
  FD_SET(server, &watched);
  int highest = server;
  uint8_t query[MODBUS_TCP_MAX_ADU_LENGTH];
  for (;;) {
    fd_set ready = watched;
    if (select(highest + 1, &ready, NULL, NULL, NULL) < 0) {
      if (errno == EINTR) continue;
      return 1;
    }
    for (int fd = 0; fd <= highest; ++fd) {
      if (!FD_ISSET(fd, &ready)) continue;
      if (fd == server) {
        const int client = accept(server, NULL, NULL);
        if (client >= 0) {
          FD_SET(client, &watched);
          if (client > highest) highest = client;
        }
        continue;
      }
      modbus_set_socket(ctx, fd);
      const int length = modbus_receive(ctx, query);
      if (length > 0) {
        modbus_reply(ctx, query, length, mapping);
      } else if (length == -1) {
        close(fd);
        FD_CLR(fd, &watched);
      }
    }
  }
}
