#pragma once

#include "verify/plan.h"

// Test points of channel 3 that more than one test file needs.
namespace tavrel::verify::test {

// Channel 3 on 0.1 V through a 75 mV shunt of `shunt` amperes.
inline TestPoint Shunt(double shunt, Unit unit, double nominal = 0) {
    TestPoint p;
    p.channel = 3;
    p.range = 0.1;
    p.shunt = shunt;
    p.unit = unit;
    p.nominal = nominal;
    return p;
}

// Channel 3 in the IPP current layout, on its current range.
inline TestPoint IppCurrent(double nominal, Unit unit = Unit::mA) {
    TestPoint p;
    p.channel = 3;
    p.layout = Layout::IppCurrent;
    p.range = kCurrentRangeMilliamps;
    p.unit = unit;
    p.nominal = nominal;
    return p;
}

}  // namespace tavrel::verify::test
