#include "AlsaSequencer.h"

#include <unistd.h>

#include <cstdarg>
#include <mutex>

namespace {

void Silent(const char*, int, const char*, int, const char*, ...) {}

}  // namespace

bool SequencerPresent() { return access("/dev/snd/seq", R_OK | W_OK) == 0; }

Sequencer OpenSequencer(const char* clientName) {
  static std::once_flag silenced;
  std::call_once(silenced, [] { snd_lib_error_set_handler(&Silent); });
  if (!SequencerPresent()) return nullptr;
  snd_seq_t* opened = nullptr;
  if (snd_seq_open(&opened, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK) < 0) return nullptr;
  Sequencer seq(opened);
  if (snd_seq_set_client_name(seq.get(), clientName) < 0) return nullptr;
  return seq;
}

std::vector<SequencerPort> SequencerPorts(snd_seq_t* seq) {
  std::vector<SequencerPort> ports;
  const int self = snd_seq_client_id(seq);
  snd_seq_client_info_t* client = nullptr;
  snd_seq_port_info_t* port = nullptr;
  snd_seq_client_info_alloca(&client);
  snd_seq_port_info_alloca(&port);
  snd_seq_client_info_set_client(client, -1);
  while (snd_seq_query_next_client(seq, client) >= 0) {
    const int number = snd_seq_client_info_get_client(client);
    if (number == SND_SEQ_CLIENT_SYSTEM || number == self) continue;
    snd_seq_port_info_set_client(port, number);
    snd_seq_port_info_set_port(port, -1);
    while (snd_seq_query_next_port(seq, port) >= 0) {
      ports.push_back({{number, snd_seq_port_info_get_port(port)},
                       snd_seq_client_info_get_name(client),
                       snd_seq_port_info_get_name(port),
                       snd_seq_port_info_get_capability(port),
                       snd_seq_port_info_get_type(port)});
    }
  }
  return ports;
}

bool Subscribed(snd_seq_t* seq, SequencerAddress sender, SequencerAddress destination) {
  snd_seq_port_subscribe_t* subscription = nullptr;
  snd_seq_port_subscribe_alloca(&subscription);
  const snd_seq_addr_t from{static_cast<unsigned char>(sender.client),
                            static_cast<unsigned char>(sender.port)};
  const snd_seq_addr_t to{static_cast<unsigned char>(destination.client),
                          static_cast<unsigned char>(destination.port)};
  snd_seq_port_subscribe_set_sender(subscription, &from);
  snd_seq_port_subscribe_set_dest(subscription, &to);
  return snd_seq_get_port_subscription(seq, subscription) == 0;
}
