void kavroResourcesAnchor() {}
