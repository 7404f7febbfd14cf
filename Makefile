# Every target bootstraps itself (Python >= 3.13, .venv, dependencies, build).
.PHONY: demo test build
demo:
	@tools/dev demo
test:
	@tools/dev test
build:
	@tools/dev build
