# Tests of the camera library's V4L2 backend (to come).
