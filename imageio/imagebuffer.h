// Large images on huge pages. On a virtual machine the first touch of each
// 4 KiB page can cost ten microseconds, so faulting in a 200 MB map took
// longer than decoding it; 2 MiB pages take that to almost nothing.
#pragma once

#include <QImage>

// An image like QImage(size, format), its pixels not cleared. From 8 MiB on
// they lie in their own mapping, advised for huge pages where the system
// offers them. Null when no memory is left.
QImage allocateImage(QSize size, QImage::Format format);

// Plain allocations, as the toolkit makes them, for comparisons; off unless set.
void setPlainImageAllocation(bool on);
