#pragma once

// The credits and greetings that scroll along the bottom of the skin:
// 3,314 characters and a terminating zero.
extern const char MarqueeText[];
