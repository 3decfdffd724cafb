#pragma once

namespace corvane {

// The main program's Info values, compiled in, and its data folder name under share/.
void configureMainBundle();

}  // namespace corvane
