#pragma once

// The application icon. The message texts are numbered by their own table (Messages.cpp).
#define IDI_SETUP 1
