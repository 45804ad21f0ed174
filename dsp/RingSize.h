// Size of the engine's delay ring for a host sample rate: 512, 1024 or 2048
// samples below 50 kHz, below 100 kHz and above, divided by the build's ring
// divisor. The detector rings are half as long. The reported latency follows
// from it, so the effect and the engine both take it from here.
#pragma once

constexpr int delayRingSizeFor(double hostRate, int ringDivisor)
{
    return (hostRate < 50000.0 ? 512 : (hostRate < 100000.0 ? 1024 : 2048)) / ringDivisor;
}
