#include "AlsaInput.h"

namespace {

class AlsaInput final : public InputConnection {
 public:
  AlsaInput(AlsaClient& client, SequencerAddress device, int port)
      : client_(client), device_(device), port_(port) {}

  ~AlsaInput() override {
    client_.UnregisterInput(port_);
    snd_seq_delete_simple_port(client_.Seq(), port_);
  }

  bool Gone() override {
    gone_ = gone_ || !Subscribed(client_.Seq(), device_, {client_.Id(), port_});
    return gone_;
  }

 private:
  AlsaClient& client_;
  const SequencerAddress device_;
  const int port_;
  bool gone_ = false;
};

}  // namespace

namespace {

// A port "MIDI In" whose arriving events the client's queue stamps with its
// real time; -errno when it cannot be made.
int CreateInputPort(AlsaClient& client) {
  snd_seq_port_info_t* info = nullptr;
  snd_seq_port_info_alloca(&info);
  snd_seq_port_info_set_name(info, "MIDI In");
  snd_seq_port_info_set_capability(info, SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE);
  snd_seq_port_info_set_type(info, SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
  if (client.Queue() >= 0) {
    snd_seq_port_info_set_timestamping(info, 1);
    snd_seq_port_info_set_timestamp_real(info, 1);
    snd_seq_port_info_set_timestamp_queue(info, client.Queue());
  }
  const int result = snd_seq_create_port(client.Seq(), info);
  return result < 0 ? result : snd_seq_port_info_get_port(info);
}

}  // namespace

MMRESULT OpenAlsaInput(AlsaClient& client, SequencerAddress device, InputDelivery& delivery,
                       std::unique_ptr<InputConnection>* connection) {
  const int port = CreateInputPort(client);
  if (port < 0) return port == -ENOMEM ? MMSYSERR_NOMEM : MMSYSERR_ERROR;
  // Registered first, so that nothing the device sends is missed.
  auto input = std::make_unique<AlsaInput>(client, device, port);
  client.RegisterInput(port, delivery);
  if (snd_seq_connect_from(client.Seq(), port, device.client, device.port) < 0) {
    return MIDIERR_NODEVICE;  // the connection's destructor takes the port away
  }
  *connection = std::move(input);
  return MMSYSERR_NOERROR;
}
