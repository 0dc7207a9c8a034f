#ifndef CDRIVEMOTION_H
#define CDRIVEMOTION_H

#include "CDriveSimulator.h"

// Where the truck is, step by step: the generator samples it at the output
// rate. The simulated round and a recorded track both move this way.
class CDriveMotion
{
public:
    virtual ~CDriveMotion() = default;
    virtual const CDriveSimulator::State &state() const = 0;
    virtual bool finished() const = 0;
    virtual void step() = 0;
};

#endif // CDRIVEMOTION_H
