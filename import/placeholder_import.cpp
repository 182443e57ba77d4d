// Filled by the windows of this subsystem.
