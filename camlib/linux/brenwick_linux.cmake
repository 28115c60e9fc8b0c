# The Linux backend of the camera library and the shipped libBrenwick.so (to come).
