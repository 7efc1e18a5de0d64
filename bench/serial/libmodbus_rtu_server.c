/* Reference peer for the serial benchmark: a libmodbus RTU server as in
 * libmodbus's own examples. Usage: libmodbus_rtu_server DEVICE BAUD. Serves
 * 200 holding registers of slave 1 (a read past them gets exception 2) until
 * killed; prints "ready" once the port is open. */
#include <errno.h>
#include <modbus.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: %s DEVICE BAUD\n", argv[0]);
    return 2;
  }
  modbus_t* ctx = modbus_new_rtu(argv[1], atoi(argv[2]), 'N', 8, 1);
  modbus_mapping_t* mapping = modbus_mapping_new(0, 0, 200, 0);
  if (!ctx || !mapping) return 1;
  for (int i = 0; i < 200; ++i) mapping->tab_registers[i] = (uint16_t)i;
  modbus_set_slave(ctx, 1);
  if (modbus_connect(ctx) != 0) {
    fprintf(stderr, "connect: %s\n", modbus_strerror(errno));
    return 1;
  }
  printf("ready\n");
  fflush(stdout);
  uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
  for (;;) {
    const int length = modbus_receive(ctx, query);
    if (length > 0) {
      modbus_reply(ctx, query, length, mapping);
    } else if (length < 0 && errno != ETIMEDOUT && errno != EMBBADCRC) {
      /* a read error on the pty: keep serving */
    }
  }
}
