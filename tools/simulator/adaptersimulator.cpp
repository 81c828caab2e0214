#include "adaptersimulator.h"

#include "adapternetwork.h"

namespace simulator {

struct Simulator::Impl
{
    explicit Impl(SimulatorOptions options) : network(std::move(options)) {}
    AdapterNetwork network;
};

Simulator::Simulator(SimulatorOptions options) : impl(std::make_unique<Impl>(std::move(options))) {}

Simulator::~Simulator() = default;

Adapter& Simulator::addAdapter(const AdapterConfig& config)
{
    return impl->network.addAdapter(config);
}

void Simulator::start()
{
    impl->network.start();
}

void Simulator::stop()
{
    impl->network.stop();
}

uint16_t Simulator::commandPort() const
{
    return impl->network.commandPort();
}

std::vector<Adapter*> Simulator::adapters() const
{
    return impl->network.adapterHandles();
}

} // namespace simulator
