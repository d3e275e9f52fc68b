#pragma once

/// Process-wide memory settings.
namespace Memory {

/// Makes every block of 256 KiB or more (a bitmap of a few hundred pixels
/// square and up) its own mapping, given back to the system when freed. By
/// default the C library raises that threshold to the largest block freed so
/// far, after which the thumbnails of a scrolled roll fill the heaps of the
/// decode threads and the resident size never shrinks again. Call first in main().
void returnFreedImages();

} // namespace Memory
