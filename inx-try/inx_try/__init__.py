"""inx-try: tries an install.exe package for real under Wine and reports
everything the installation (and its uninstallation) changed."""
